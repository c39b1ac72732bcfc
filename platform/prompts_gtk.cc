// Prompts as GTK dialogs, for a desktop session. Each dialog runs modally in
// a nested main loop (gtk_dialog_run), so a prompt may be put from inside a
// handler of the program's own main loop; GTK calls belong to the thread
// that runs GTK, which is the only thread that may call these.

#include <fnmatch.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include <filesystem>
#include <mutex>

#include "norwin/platform/prompts.h"
#include "norwin/platform/ui_thread.h"
#include "prompt_support.h"

namespace norwin::platform {

namespace {

// GTK wants valid UTF-8 and shows a carriage return as a glyph; the
// programs' texts come with Windows line ends.
std::string DisplayText(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      lines += text[i];
    }
  }
  gchar* valid = g_utf8_make_valid(lines.data(), static_cast<gssize>(lines.size()));
  std::string out(valid);
  g_free(valid);
  return out;
}

// The window a dialog belongs to: the program's active top-level window, as
// Windows owns a message box by the foreground window.
GtkWindow* ActiveWindow() {
  GList* toplevels = gtk_window_list_toplevels();
  GtkWindow* active = nullptr;
  for (GList* item = toplevels; item; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    if (gtk_window_is_active(window) && gtk_widget_get_visible(GTK_WIDGET(window))) {
      active = window;
      break;
    }
  }
  g_list_free(toplevels);
  return active;
}

const char* ButtonLabel(int id) {
  switch (id) {
    case kIdOk:
      return "_OK";
    case kIdCancel:
      return "_Cancel";
    case kIdAbort:
      return "_Abort";
    case kIdRetry:
      return "_Retry";
    case kIdIgnore:
      return "_Ignore";
    case kIdYes:
      return "_Yes";
    case kIdNo:
      return "_No";
    case kIdTryAgain:
      return "_Try Again";
    case kIdContinue:
      return "C_ontinue";
    default:
      return "?";
  }
}

GtkMessageType MessageType(uint32_t flags) {
  switch (flags & kMbIconMask) {
    case kMbIconHand:
      return GTK_MESSAGE_ERROR;
    case kMbIconQuestion:
      return GTK_MESSAGE_QUESTION;
    case kMbIconExclamation:
      return GTK_MESSAGE_WARNING;
    case kMbIconAsterisk:
      return GTK_MESSAGE_INFO;
    default:
      return GTK_MESSAGE_OTHER;
  }
}

// One entry of a chooser filter: its description and its patterns.
struct FilterEntry {
  std::string name;
  std::vector<std::string> patterns;
};

// "Text\0*.txt;*.log\0" or "Text|*.txt;*.log|" into entries. A pattern "*.*"
// means every file, as it does on Windows (names without a dot included).
std::vector<FilterEntry> ParseFilter(std::string_view filter) {
  const char separator = filter.find('\0') != std::string_view::npos ? '\0' : '|';
  std::vector<std::string_view> fields;
  while (!filter.empty()) {
    const size_t end = filter.find(separator);
    fields.push_back(filter.substr(0, end));
    if (end == std::string_view::npos) break;
    filter.remove_prefix(end + 1);
  }
  std::vector<FilterEntry> entries;
  for (size_t i = 0; i < fields.size(); i += 2) {
    if (fields[i].empty() && (i + 1 >= fields.size() || fields[i + 1].empty())) continue;
    FilterEntry entry{std::string(fields[i]), {}};
    std::string_view patterns = i + 1 < fields.size() ? fields[i + 1] : std::string_view();
    while (!patterns.empty()) {
      const size_t end = patterns.find(';');
      std::string pattern(patterns.substr(0, end));
      if (pattern == "*.*") pattern = "*";
      if (!pattern.empty()) entry.patterns.push_back(std::move(pattern));
      if (end == std::string_view::npos) break;
      patterns.remove_prefix(end + 1);
    }
    // An entry without a pattern would show nothing to choose from.
    if (entry.patterns.empty()) entry.patterns.push_back("*");
    entries.push_back(std::move(entry));
  }
  return entries;
}

// Windows matches file patterns without regard to case; course discs carry
// names such as "COURSE.CFG".
gboolean MatchesAnyPattern(const GtkFileFilterInfo* info, gpointer data) {
  const auto* patterns = static_cast<const std::vector<std::string>*>(data);
  if (!info->display_name) return FALSE;
  for (const std::string& pattern : *patterns) {
    if (fnmatch(pattern.c_str(), info->display_name, FNM_CASEFOLD) == 0) return TRUE;
  }
  return FALSE;
}

void AddFilters(GtkFileChooser* chooser, std::string_view filter, int index) {
  std::vector<FilterEntry> entries = ParseFilter(filter);
  for (size_t i = 0; i < entries.size(); ++i) {
    GtkFileFilter* gtk_filter = gtk_file_filter_new();
    gtk_file_filter_set_name(gtk_filter, DisplayText(entries[i].name).c_str());
    auto* patterns = new std::vector<std::string>(std::move(entries[i].patterns));
    gtk_file_filter_add_custom(
        gtk_filter, GTK_FILE_FILTER_DISPLAY_NAME, MatchesAnyPattern, patterns,
        [](gpointer data) { delete static_cast<std::vector<std::string>*>(data); });
    gtk_file_chooser_add_filter(chooser, gtk_filter);  // takes the floating reference
    if (static_cast<int>(i) + 1 == index || (index <= 0 && i == 0))
      gtk_file_chooser_set_filter(chooser, gtk_filter);
  }
}

std::vector<std::pair<std::string, std::string>> PrintSettingsPairs(GtkPrintSettings* settings) {
  std::vector<std::pair<std::string, std::string>> pairs;
  gtk_print_settings_foreach(
      settings,
      [](const gchar* key, const gchar* value, gpointer data) {
        static_cast<std::vector<std::pair<std::string, std::string>>*>(data)->emplace_back(
            key, value ? value : "");
      },
      &pairs);
  return pairs;
}

std::vector<std::pair<std::string, std::string>> PageSetupPairs(GtkPageSetup* setup) {
  std::vector<std::pair<std::string, std::string>> pairs;
  if (!setup) return pairs;
  GKeyFile* file = g_key_file_new();
  static constexpr char kGroup[] = "Page Setup";
  gtk_page_setup_to_key_file(setup, file, kGroup);
  gchar** keys = g_key_file_get_keys(file, kGroup, nullptr, nullptr);
  for (gchar** key = keys; key && *key; ++key) {
    gchar* value = g_key_file_get_value(file, kGroup, *key, nullptr);
    pairs.emplace_back(*key, value ? value : "");
    g_free(value);
  }
  g_strfreev(keys);
  g_key_file_free(file);
  return pairs;
}

class GtkPrompts : public Prompts {
 public:
  GtkPrompts() : fallback_(MakeNonInteractivePrompts()) {}

  PromptsKind kind() const override { return PromptsKind::kGtk; }

  int MessageBox(std::string_view text, std::string_view caption, uint32_t flags) override {
    if (!GtkReady()) return fallback_->MessageBox(text, caption, flags);
    GtkWindow* parent = ActiveWindow();
    GtkWidget* dialog = gtk_message_dialog_new(
        parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        MessageType(flags), GTK_BUTTONS_NONE, "%s", DisplayText(text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), DisplayText(caption).c_str());
    const Buttons buttons = ButtonsOf(flags);
    for (int i = 0; i < buttons.count; ++i) {
      gtk_dialog_add_button(GTK_DIALOG(dialog), ButtonLabel(buttons.ids[i]), buttons.ids[i]);
    }
    const int default_index = static_cast<int>((flags & kMbDefMask) >> 8);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog),
                                    buttons.ids[default_index < buttons.count ? default_index : 0]);
    if (flags & (kMbSystemModal | kMbTopmost)) gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    if (flags & kMbNoFocus) gtk_window_set_focus_on_map(GTK_WINDOW(dialog), FALSE);
    gtk_window_set_position(GTK_WINDOW(dialog),
                            parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    // Closing the box (its close button, Escape) ends the wait as Cancel or
    // whatever stands in for it.
    return buttons.Has(response) ? response : AnswerThatEndsTheWait(flags);
  }

  void Beep(uint32_t) override {
    // GTK offers one sound; the desktop's bell settings decide how it sounds.
    if (GtkReady()) gdk_display_beep(gdk_display_get_default());
  }

  std::optional<std::string> ChooseOpenFile(const FileChooserRequest& request) override {
    if (!GtkReady()) return fallback_->ChooseOpenFile(request);
    return Choose(request, internal::ChooserAction::kOpen);
  }

  std::optional<std::string> ChooseSaveFile(const FileChooserRequest& request) override {
    if (!GtkReady()) return fallback_->ChooseSaveFile(request);
    return Choose(request, internal::ChooserAction::kSave);
  }

  std::optional<PrintChoice> ChoosePrinter(const PrintDialogRequest& request) override {
    if (!GtkReady()) return fallback_->ChoosePrinter(request);
    GtkWidget* dialog = gtk_print_unix_dialog_new(nullptr, ActiveWindow());
    GtkPrintUnixDialog* print_dialog = GTK_PRINT_UNIX_DIALOG(dialog);
    // The program prints its copies itself and can write PDF and PostScript,
    // so that printing to a file works without a print server.
    gtk_print_unix_dialog_set_manual_capabilities(
        print_dialog, static_cast<GtkPrintCapabilities>(
                          GTK_PRINT_CAPABILITY_COPIES | GTK_PRINT_CAPABILITY_COLLATE |
                          GTK_PRINT_CAPABILITY_GENERATE_PDF | GTK_PRINT_CAPABILITY_GENERATE_PS));
    gtk_print_unix_dialog_set_support_selection(print_dialog,
                                                (request.flags & kPdNoSelection) == 0);
    gtk_print_unix_dialog_set_has_selection(print_dialog, FALSE);
    std::optional<PrintChoice> choice;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
      GtkPrintSettings* settings = gtk_print_unix_dialog_get_settings(print_dialog);
      GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(print_dialog);
      choice.emplace();
      if (printer) {
        choice->printer = gtk_printer_get_name(printer);
        gtk_print_settings_set_printer(settings, choice->printer.c_str());
      } else if (const gchar* named = gtk_print_settings_get_printer(settings)) {
        choice->printer = named;
      }
      choice->copies = std::max(1, gtk_print_settings_get_n_copies(settings));
      choice->collate = gtk_print_settings_get_collate(settings);
      // Without page numbers to choose, the whole text is printed.
      if (request.flags & kPdNoPageNums)
        gtk_print_settings_set_print_pages(settings, GTK_PRINT_PAGES_ALL);
      choice->settings = PrintSettingsPairs(settings);
      choice->page_setup = PageSetupPairs(gtk_print_unix_dialog_get_page_setup(print_dialog));
      g_object_unref(settings);
    }
    gtk_widget_destroy(dialog);
    return choice;
  }

 private:
  // GTK is initialised on the first prompt, not when the process starts, so
  // that programs which never ask anything never need a display.
  bool GtkReady() {
    std::call_once(init_once_, [this] { ready_ = gtk_init_check(nullptr, nullptr); });
    return ready_;
  }

  std::optional<std::string> Choose(const FileChooserRequest& request,
                                    internal::ChooserAction action) {
    const bool open = action == internal::ChooserAction::kOpen;
    std::string title = DisplayText(request.title);
    if (title.empty()) title = open ? "Open" : "Save As";
    GtkWindow* parent = ActiveWindow();
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        title.c_str(), parent, open ? GTK_FILE_CHOOSER_ACTION_OPEN : GTK_FILE_CHOOSER_ACTION_SAVE,
        "_Cancel", GTK_RESPONSE_CANCEL, open ? "_Open" : "_Save", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    const bool confirm_overwrite = !open && (request.flags & kOfnOverwritePrompt);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, confirm_overwrite);
    AddFilters(chooser, request.filter, request.filter_index);

    const std::string folder(request.initial_folder);
    std::error_code ignored;
    if (!folder.empty() && std::filesystem::is_directory(folder, ignored))
      gtk_file_chooser_set_current_folder(chooser, folder.c_str());
    if (!request.initial_name.empty()) {
      const std::string name = DisplayText(request.initial_name);
      if (open) {
        const std::filesystem::path full = std::filesystem::path(folder) / name;
        gtk_file_chooser_set_filename(chooser, full.c_str());
      } else {
        gtk_file_chooser_set_current_name(chooser, name.c_str());
      }
    }

    std::optional<std::string> chosen;
    while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
      gchar* filename = gtk_file_chooser_get_filename(chooser);
      if (!filename) continue;
      std::string path = internal::CompleteChosenPath(filename, request.default_extension, action);
      const bool extended = path != filename;
      g_free(filename);
      // The chooser asked about the name as typed; a name the extension
      // completed may stand for another, existing file.
      if (confirm_overwrite && extended && std::filesystem::exists(path, ignored) &&
          MessageBox(path + " already exists.\nDo you want to replace it?", title,
                     kMbYesNo | kMbIconExclamation | kMbDefButton2) != kIdYes) {
        continue;
      }
      chosen = std::move(path);
      break;
    }
    gtk_widget_destroy(dialog);
    return chosen;
  }

  std::once_flag init_once_;
  bool ready_ = false;
  const std::unique_ptr<Prompts> fallback_;
};

// The GTK dialogs from any thread: a prompt asked off the UI thread (by a
// record object in its apartment) is shown by the UI thread while the
// asking thread waits; once the UI is closing it is answered as without a
// display.
class UiThreadPrompts final : public Prompts {
 public:
  UiThreadPrompts() : fallback_(MakeNonInteractivePrompts()) {}

  PromptsKind kind() const override { return PromptsKind::kGtk; }

  int MessageBox(std::string_view text, std::string_view caption, uint32_t flags) override {
    return OnUi([&] { return dialogs_.MessageBox(text, caption, flags); },
                [&] { return fallback_->MessageBox(text, caption, flags); });
  }
  void Beep(uint32_t sound) override {
    OnUi([&] { return (dialogs_.Beep(sound), 0); }, [] { return 0; });
  }
  std::optional<std::string> ChooseOpenFile(const FileChooserRequest& request) override {
    return OnUi([&] { return dialogs_.ChooseOpenFile(request); },
                [&] { return fallback_->ChooseOpenFile(request); });
  }
  std::optional<std::string> ChooseSaveFile(const FileChooserRequest& request) override {
    return OnUi([&] { return dialogs_.ChooseSaveFile(request); },
                [&] { return fallback_->ChooseSaveFile(request); });
  }
  std::optional<PrintChoice> ChoosePrinter(const PrintDialogRequest& request) override {
    return OnUi([&] { return dialogs_.ChoosePrinter(request); },
                [&] { return fallback_->ChoosePrinter(request); });
  }

 private:
  template <typename Show, typename Closing>
  static auto OnUi(Show&& show, Closing&& closing) -> decltype(show()) {
    decltype(show()) answer{};
    if (!RunOnUiThread([&] { answer = show(); })) return closing();
    return answer;
  }

  GtkPrompts dialogs_;
  std::unique_ptr<Prompts> fallback_;
};

}  // namespace

std::unique_ptr<Prompts> MakeGtkPrompts() { return std::make_unique<UiThreadPrompts>(); }

}  // namespace norwin::platform
