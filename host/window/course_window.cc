#include "norwin/host/course_window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "norwin/host/about_box.h"
#include "norwin/host/course_address.h"
#include "norwin/host/message_templates.h"
#include "norwin/host/navigation_check.h"
#include "norwin/host/page_address.h"
#include "norwin/host/print_device_chooser.h"
#include "norwin/host/program_icon.h"
#include "norwin/host/string_table.h"
#include "norwin/host/title_bar.h"
#include "norwin/host/window_caption.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/prompts.h"

namespace norwin::host {
namespace {

// The navigation check records exam addresses in the progress file.
class ProgressCookies final : public CookieSink {
 public:
  void SetCookie(std::string_view name, std::string_view value) override {
    if (Status set = TheProgressStore().Set(name, value); !set.ok()) {
      std::fprintf(stderr, "lumo: cannot store %.*s: %s\n", static_cast<int>(name.size()),
                   name.data(), set.message().c_str());
    }
  }
};

// How many addresses a window remembers having loaded.
constexpr size_t kSeenAddresses = 64;
// How many redirects of the navigation check a window keeps while they run.
constexpr size_t kRedirectsUnderWay = 16;
// The message the web-process extension takes a redirect from: the address
// a frame navigates to and the address to load in its place.
constexpr char kRedirectMessage[] = "lumo.redirect";

// `text` (UTF-8) with the characters HTML gives a meaning escaped.
std::string HtmlText(const char* text) {
  gchar* escaped = g_markup_escape_text(text, -1);
  std::string out(escaped);
  g_free(escaped);
  return out;
}

// `address` without its fragment: a frame reports where it is, fragment
// and all, for the same load.
std::string_view WithoutFragment(std::string_view address) {
  return address.substr(0, address.find('#'));
}

gboolean RunOnce(gpointer data) {
  auto* work = static_cast<std::function<void()>*>(data);
  (*work)();
  delete work;
  return G_SOURCE_REMOVE;
}

// Runs `work` from the main loop, outside the signal handler at hand.
void Soon(std::function<void()> work) {
  g_idle_add(&RunOnce, new std::function<void()>(std::move(work)));
}

void ApplyViewSettings(WebKitWebView* view) {
  WebKitSettings* settings = webkit_web_view_get_settings(view);
  // Course discs are sets of local pages that script each other across
  // frames, as they could in the Windows program's browser.
  webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
  webkit_settings_set_allow_universal_access_from_file_urls(settings, TRUE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
}

bool IsIconified(GtkWindow* window) {
  GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(window));
  return gdk && (gdk_window_get_state(gdk) & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

}  // namespace

struct CourseWindow::Signals {
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<CourseWindow*>(self)->Stop();
    return TRUE;  // closing is Stop's business; the window is never simply destroyed
  }

  static void OnDestroy(GtkWidget*, gpointer self) {
    auto* window = static_cast<CourseWindow*>(self);
    window->set_.Forget(window);
  }

  static void OnTitle(WebKitWebView* view, GParamSpec*, gpointer self) {
    auto* window = static_cast<CourseWindow*>(self);
    window->SetCaption(
        WindowCaption(webkit_web_view_get_title(view), window->set_.settings().title));
  }

  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self) {
    auto* window = static_cast<CourseWindow*>(self);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
      return RedirectWholeWindow(window, WEBKIT_RESPONSE_POLICY_DECISION(decision));
    }
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* requested =
        webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const char* frame = webkit_navigation_action_get_frame_name(action);
    if (!requested) return FALSE;
    window->Remember(requested);
    // The address as the course drive writes it (the web process loads it
    // so): what the check compares, and what the exam cookie records.
    const std::string uri = CanonicalCourseAddress(requested).value_or(requested);
    // Only the course's own pages are redirected, and only to its own
    // addresses: a foreign frame neither writes the exam cookie nor changes
    // what the window shows.
    const CourseWindows& set = window->set_;
    const std::string page = window->address();
    if (!set.IsTrusted(page.empty() ? uri : page) || !set.IsTrusted(uri)) return FALSE;
    ProgressCookies cookies;
    const Settings& settings = set.settings();
    const NavigationAction check =
        CheckNavigation(uri, frame ? frame : "", set.registry(), settings.redirKey, cookies);
    switch (check.kind) {
      case NavigationAction::Kind::kNone:
        return FALSE;
      case NavigationAction::Kind::kStopAndReport:
        webkit_web_view_stop_loading(view);
        ShowRedirectFileNotSet();
        return FALSE;  // the navigation itself is not cancelled
      case NavigationAction::Kind::kRedirect:
        break;
    }
    const std::optional<std::string> target = BrowserAddress(check.address, uri);
    if (!target) {
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
    window->Remember(*target);
    // The frame that navigated loads the target: the web process rewrites
    // that frame's request. The message goes out before the decision on the
    // same channel, so the web process has it before the request. A window
    // whose page moves to another web process for it is redirected whole
    // when the answer arrives (RedirectWholeWindow): only the top document
    // moves so.
    window->redirects_.emplace_back(uri, *target);
    if (window->redirects_.size() > kRedirectsUnderWay) window->redirects_.pop_front();
    webkit_web_view_send_message_to_page(
        view,
        webkit_user_message_new(kRedirectMessage,
                                g_variant_new("(ss)", requested, target->c_str())),
        nullptr, nullptr, nullptr);
    return FALSE;
  }

  // The answer to a navigation the check redirects arrived for the top
  // document itself, un-rewritten: its page moved to another web process,
  // which never had the redirect. The window is redirected whole.
  static gboolean RedirectWholeWindow(CourseWindow* window,
                                      WebKitResponsePolicyDecision* decision) {
    if (!webkit_response_policy_decision_is_main_frame_main_resource(decision)) return FALSE;
    const char* answered =
        webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(decision));
    if (!answered) return FALSE;
    const std::string uri = CanonicalCourseAddress(answered).value_or(answered);
    auto& redirects = window->redirects_;
    const auto it = std::find_if(redirects.begin(), redirects.end(),
                                 [uri](const auto& redirect) { return redirect.first == uri; });
    if (it == redirects.end()) return FALSE;
    const std::string target = it->second;
    redirects.erase(it);
    webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
    webkit_web_view_load_uri(window->view_, target.c_str());
    return TRUE;
  }

  static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
    platform::Prompts& prompts = platform::CurrentPrompts();
    const char* message = webkit_script_dialog_get_message(dialog);
    const std::string_view text = message ? message : "";
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
      case WEBKIT_SCRIPT_DIALOG_ALERT:
        prompts.MessageBox(text, kLumoCaption, platform::kMbOk | platform::kMbIconExclamation);
        return TRUE;
      case WEBKIT_SCRIPT_DIALOG_CONFIRM:
      case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM: {
        const int answer = prompts.MessageBox(text, kLumoCaption,
                                              platform::kMbOkCancel | platform::kMbIconQuestion);
        webkit_script_dialog_confirm_set_confirmed(dialog, answer == platform::kIdOk);
        return TRUE;
      }
      case WEBKIT_SCRIPT_DIALOG_PROMPT:
        // The engine's own text box on a desktop; without one, the page
        // reads the prompt as cancelled.
        return prompts.kind() != platform::PromptsKind::kGtk;
    }
    return FALSE;
  }

  static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self) {
    auto* window = static_cast<CourseWindow*>(self);
    const Settings& settings = window->set_.settings();
    auto popup = std::unique_ptr<CourseWindow>(
        new CourseWindow(window->set_, window, view, settings.cx, settings.cy));
    CourseWindow* opened = window->set_.Adopt(std::move(popup));
    // The opener's window saw the page asked for; the new window loads it.
    if (const char* uri =
            webkit_uri_request_get_uri(webkit_navigation_action_get_request(action))) {
      opened->Remember(uri);
    }
    return GTK_WIDGET(opened->view_);
  }

  static void OnReadyToShow(WebKitWebView* view, gpointer self) {
    auto* window = static_cast<CourseWindow*>(self);
    GdkRectangle geometry{};
    webkit_window_properties_get_geometry(webkit_web_view_get_window_properties(view), &geometry);
    if (geometry.width > 0 && geometry.height > 0) {
      gtk_widget_set_size_request(GTK_WIDGET(view), geometry.width, geometry.height);
    }
    gtk_widget_show_all(GTK_WIDGET(window->window_));
  }

  static void OnClose(WebKitWebView*, gpointer self) { static_cast<CourseWindow*>(self)->Stop(); }

  static gboolean OnPrint(WebKitWebView*, WebKitPrintOperation*, gpointer self) {
    static_cast<CourseWindow*>(self)->Print();
    return TRUE;
  }

  static void OnAbout(GtkMenuItem*, gpointer self) {
    ShowAboutBox(static_cast<CourseWindow*>(self)->window_);
  }

  static void OnWebProcessGone(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                               gpointer self) {
    const char* what = reason == WEBKIT_WEB_PROCESS_CRASHED                 ? "crashed"
                       : reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "ran out of memory"
                                                                            : "was ended";
    static_cast<CourseWindow*>(self)->WebProcessEnded(what);
  }

  static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent, gchar* uri, GError* error,
                               gpointer) {
    // A load given up for another (a redirect, a download, a new
    // address) is no failure to show.
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
        g_error_matches(error, WEBKIT_PLUGIN_ERROR, WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD)) {
      return FALSE;
    }
    // The engine's own error page is titled; this one is not, so the
    // caption is "Lumo", and it offers the way back.
    const std::string page =
        "<html><body style=\"font-family: sans-serif\"><h3>The page cannot be shown</h3><p>" +
        HtmlText(uri ? uri : "") + "</p><p>" + HtmlText(error ? error->message : "") +
        "</p><p><a href=\"javascript:history.back()\">Back</a></p></body></html>";
    webkit_web_view_load_alternate_html(view, page.c_str(), uri, nullptr);
    return TRUE;
  }

  // Where the user saves a download whose page suggests `suggested`: the
  // prompts' save chooser, and a question before an existing file is
  // replaced (the desktop's chooser asks that itself). An error when the
  // user chose nothing or keeps the file.
  static Result<std::filesystem::path> ChooseDownloadFile(std::string_view suggested) {
    platform::Prompts& prompts = platform::CurrentPrompts();
    platform::FileChooserRequest request;
    request.initial_name = suggested;
    request.flags = platform::kOfnOverwritePrompt | platform::kOfnHideReadOnly;
    const std::optional<std::string> chosen = prompts.ChooseSaveFile(request);
    if (!chosen) return Status::Error("no file was chosen");
    // The choosers answer with a native path.
    Result<std::filesystem::path> native = std::filesystem::path(*chosen);
    std::error_code error;
    if (std::filesystem::exists(*native, error) && prompts.kind() != platform::PromptsKind::kGtk &&
        prompts.MessageBox(native->string() + " already exists.\nDo you want to replace it?",
                           kLumoCaption,
                           platform::kMbYesNo | platform::kMbIconExclamation) != platform::kIdYes) {
      return Status::Error("the file " + native->string() + " is kept");
    }
    return native;
  }

  static gboolean OnDecideDestination(WebKitDownload* download, gchar* suggested, gpointer) {
    const char* uri = webkit_uri_request_get_uri(webkit_download_get_request(download));
    const Result<std::filesystem::path> native = ChooseDownloadFile(suggested ? suggested : "");
    char* destination =
        native.ok() ? g_filename_to_uri(native->c_str(), nullptr, nullptr) : nullptr;
    if (!destination) {
      std::fprintf(stderr, "lumo: the download of %s is not saved: %s\n", uri,
                   native.ok() ? "no address for the file" : native.message().c_str());
      webkit_download_cancel(download);
      return TRUE;
    }
    std::fprintf(stderr, "lumo: saving %s as %s\n", uri, native->c_str());
    webkit_download_set_allow_overwrite(download, TRUE);  // asked above
    webkit_download_set_destination(download, destination);
    g_free(destination);
    return TRUE;
  }

  // A file of a course drive is copied by the window itself: the engine's
  // downloads cannot read the course drives' scheme. Written whole (a
  // temporary file beside it, then renamed), so a failure keeps the old.
  static void SaveCourseFile(const std::string& uri, const std::string& path) {
    Result<std::filesystem::path> source = platform::ResolveWindowsPath(path);
    const std::string name = source.ok() ? source->filename().string() : std::string();
    Result<std::filesystem::path> target =
        source.ok() ? ChooseDownloadFile(name) : Result<std::filesystem::path>(source.status());
    std::error_code error;
    if (target.ok()) {
      const std::filesystem::path temporary = target->string() + ".lumo-part";
      if (std::filesystem::copy_file(*source, temporary,
                                     std::filesystem::copy_options::overwrite_existing, error)) {
        std::filesystem::rename(temporary, *target, error);
      }
      if (error) std::filesystem::remove(temporary);
    }
    if (!target.ok() || error) {
      std::fprintf(stderr, "lumo: the download of %s is not saved: %s\n", uri.c_str(),
                   target.ok() ? error.message().c_str() : target.message().c_str());
      return;
    }
    std::fprintf(stderr, "lumo: saved %s as %s\n", uri.c_str(), target->c_str());
  }

  static void OnDownloadFailed(WebKitDownload* download, GError* error, gpointer) {
    if (g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER)) {
      return;
    }
    std::fprintf(stderr, "lumo: the download of %s failed: %s\n",
                 webkit_uri_request_get_uri(webkit_download_get_request(download)),
                 error ? error->message : "");
  }

  static void OnDownloadDone(WebKitDownload* download, gpointer) {
    const char* destination = webkit_download_get_destination(download);
    if (destination && webkit_download_get_estimated_progress(download) >= 1.0) {
      std::fprintf(stderr, "lumo: saved %s as %s\n",
                   webkit_uri_request_get_uri(webkit_download_get_request(download)), destination);
    }
  }

  static void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer set) {
    const char* uri = webkit_uri_request_get_uri(webkit_download_get_request(download));
    if (!uri || !static_cast<CourseWindows*>(set)->IsTrusted(uri)) {
      // A page from elsewhere must not make the engine write files.
      std::fprintf(stderr, "lumo: refused a download from outside the course: %s\n",
                   uri ? uri : "");
      webkit_download_cancel(download);
      return;
    }
    if (std::optional<std::string> path = CourseFilePath(uri)) {
      webkit_download_cancel(download);
      Soon([uri = std::string(uri), path = *path] { SaveCourseFile(uri, path); });
      return;
    }
    g_signal_connect(download, "decide-destination", G_CALLBACK(&OnDecideDestination), nullptr);
    g_signal_connect(download, "failed", G_CALLBACK(&OnDownloadFailed), nullptr);
    g_signal_connect(download, "finished", G_CALLBACK(&OnDownloadDone), nullptr);
  }

  static void OnPrintDone(WebKitPrintOperation* operation, gpointer) { g_object_unref(operation); }
  static void OnPrintFailed(WebKitPrintOperation*, GError* error, gpointer) {
    std::fprintf(stderr, "lumo: printing the page failed: %s\n", error ? error->message : "");
  }
};

CourseWindow::CourseWindow(CourseWindows& set, CourseWindow* parent, WebKitWebView* related,
                           int width, int height)
    : set_(set), parent_(parent), popup_(parent != nullptr) {
  set_.module().Lock();
  window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  caption_ = std::string(kLumoCaption);
  gtk_window_set_title(window_, caption_.c_str());
  gtk_window_set_resizable(window_, FALSE);
  if (GdkPixbuf* icon = LoadProgramIcon(64)) {
    gtk_window_set_icon(window_, icon);
    g_object_unref(icon);
  }
  BuildTitleBar(width);

  if (related) {
    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, nullptr));
  } else {
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(set_.context()));
  }
  ApplyViewSettings(view_);
  gtk_widget_set_size_request(GTK_WIDGET(view_), width, height);
  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));

  // A pop-up is not transient for its owner: desktops offer no minimise
  // button to transient windows, and pop-ups must be minimisable on their
  // own. It is centred over its owner by hand instead.
  GtkWindow* owner = parent_ ? parent_->window_ : nullptr;
  if (owner && gtk_widget_get_visible(GTK_WIDGET(owner)) && !IsIconified(owner)) {
    int x = 0, y = 0, owner_width = 0, owner_height = 0;
    gtk_window_get_position(owner, &x, &y);
    gtk_window_get_size(owner, &owner_width, &owner_height);
    gtk_window_move(window_, std::max(0, x + (owner_width - width) / 2),
                    std::max(0, y + (owner_height - height) / 2));
  } else {
    gtk_window_set_position(window_, GTK_WIN_POS_CENTER);
  }

  g_signal_connect(window_, "delete-event", G_CALLBACK(&Signals::OnDelete), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(&Signals::OnDestroy), this);
  g_signal_connect(view_, "notify::title", G_CALLBACK(&Signals::OnTitle), this);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(&Signals::OnDecidePolicy), this);
  g_signal_connect(view_, "script-dialog", G_CALLBACK(&Signals::OnScriptDialog), this);
  g_signal_connect(view_, "create", G_CALLBACK(&Signals::OnCreate), this);
  g_signal_connect(view_, "ready-to-show", G_CALLBACK(&Signals::OnReadyToShow), this);
  g_signal_connect(view_, "close", G_CALLBACK(&Signals::OnClose), this);
  g_signal_connect(view_, "print", G_CALLBACK(&Signals::OnPrint), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(&Signals::OnWebProcessGone), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(&Signals::OnLoadFailed), this);

  // A view the engine made for window.open shows once the engine says so.
  if (!related) gtk_widget_show_all(GTK_WIDGET(window_));
}

void CourseWindow::BuildTitleBar(int width) {
  // The title bar carries the window menu: the Windows program added its
  // About item to the system menu, which a desktop here does not let a
  // program extend.
  GtkWidget* button = nullptr;
  if (std::optional<std::string> about = ProgramStrings().Load(kIdsAboutMenu, 256)) {
    GtkWidget* menu = gtk_menu_new();
    GtkWidget* item = gtk_menu_item_new_with_label(about->c_str());
    g_signal_connect(item, "activate", G_CALLBACK(&Signals::OnAbout), this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    gtk_widget_show_all(menu);
    button = gtk_menu_button_new();
    gtk_button_set_image(GTK_BUTTON(button),
                         gtk_image_new_from_icon_name("open-menu-symbolic", GTK_ICON_SIZE_BUTTON));
    gtk_menu_button_set_popup(GTK_MENU_BUTTON(button), menu);
  }
  title_ = AddTitleBar(window_, width, caption_.c_str(), button);
}

CourseWindow::~CourseWindow() {
  if (view_) g_signal_handlers_disconnect_by_data(view_, this);
  if (window_) g_signal_handlers_disconnect_by_data(window_, this);
  set_.module().Unlock();
}

uint64_t CourseWindow::page_id() const { return webkit_web_view_get_page_id(view_); }

std::string CourseWindow::address() const {
  const char* uri = webkit_web_view_get_uri(view_);
  return uri ? uri : "";
}

void CourseWindow::Load(const PageSource& source) {
  switch (source.kind) {
    case PageSource::Kind::kNothing:
      break;
    case PageSource::Kind::kAddress:
      Remember(source.text);
      webkit_web_view_load_uri(view_, source.text.c_str());
      break;
    case PageSource::Kind::kHtml:
      Remember(source.base);
      webkit_web_view_load_html(view_, source.text.c_str(),
                                source.base.empty() ? nullptr : source.base.c_str());
      break;
  }
}

void CourseWindow::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  gtk_window_set_title(window_, caption_.c_str());
  if (title_) gtk_label_set_text(title_, caption_.c_str());
}

void CourseWindow::Remember(std::string_view address) {
  if (address.empty()) return;
  for (const std::optional<std::string>& seen :
       {std::optional<std::string>(WithoutFragment(address)),
        CanonicalCourseAddress(WithoutFragment(address))}) {
    if (!seen) continue;
    if (std::find(seen_.begin(), seen_.end(), *seen) != seen_.end()) continue;
    seen_.push_back(*seen);
    if (seen_.size() > kSeenAddresses) seen_.pop_front();
  }
}

bool CourseWindow::MayScript(std::string_view address) const {
  if (!set_.IsTrusted(address)) return false;
  const std::string_view page = WithoutFragment(address);
  return WithoutFragment(this->address()) == page ||
         std::find(seen_.begin(), seen_.end(), page) != seen_.end();
}

void CourseWindow::SetBusy(bool busy) {
  GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(view_));
  if (!gdk) return;
  GdkDisplay* display = gdk_window_get_display(gdk);
  GdkCursor* cursor = busy ? gdk_cursor_new_from_name(display, "wait") : nullptr;
  gdk_window_set_cursor(gdk, cursor);
  if (cursor) g_object_unref(cursor);
  // The cursor is the display server's: it changes now, while the main loop
  // is busy with the work.
  gdk_display_flush(display);
}

void CourseWindow::WebProcessEnded(const char* reason) {
  const auto now = std::chrono::steady_clock::now();
  while (!crashes_.empty() && now - crashes_.front() > std::chrono::minutes(1)) {
    crashes_.pop_front();
  }
  crashes_.push_back(now);
  const std::string page = address();
  std::weak_ptr<const bool> alive = alive_;
  if (crashes_.size() <= kMaxReloadsPerMinute) {
    std::fprintf(stderr, "lumo: the page's web process %s; loading %s again\n", reason,
                 page.c_str());
    Soon([this, alive] {
      if (!alive.expired()) webkit_web_view_reload(view_);
    });
    return;
  }
  std::fprintf(stderr,
               "lumo: the page's web process %s %zu times within a minute; %s stays closed\n",
               reason, crashes_.size(), page.c_str());
  Soon([page] {
    platform::CurrentPrompts().MessageBox(
        "The page\n" + page +
            "\nstopped working several times and is not loaded again.\nClose the window to end.",
        kLumoCaption, platform::kMbOk | platform::kMbIconExclamation);
  });
}

void CourseWindow::Stop() {
  if (popup_) {
    gtk_widget_destroy(GTK_WIDGET(window_));  // deletes this window
    return;
  }
  if (Status saved = TheProgressStore().Export(progress_); !saved.ok()) {
    std::fprintf(stderr, "lumo: the progress file was not saved: %s\n", saved.message().c_str());
  }
  set_.Quit();
}

void CourseWindow::Minimize() { gtk_window_iconify(window_); }

void CourseWindow::Restore() {
  gtk_window_deiconify(window_);
  gtk_window_present(window_);
}

CourseWindow* CourseWindow::OpenPopup(const PageSource& source, int width, int height) {
  return set_.Open(this, source, width, height);
}

void CourseWindow::Print() {
  WebKitPrintOperation* operation = webkit_print_operation_new(view_);
  platform::Prompts& prompts = platform::CurrentPrompts();
  if (prompts.kind() == platform::PromptsKind::kGtk) {
    webkit_print_operation_run_dialog(operation, window_);
    g_object_unref(operation);
    return;
  }
  // Without the desktop's dialog: the prompts' print dialog, and on OK a PDF
  // file, as the text printing does (print_device_chooser.h).
  const std::optional<platform::PrintChoice> choice = prompts.ChoosePrinter({});
  const char* pdf = std::getenv(kPrintToPdfVariable);
  if (!choice || !pdf || !*pdf) {
    if (choice) std::fprintf(stderr, "lumo: no printer to print the page on\n");
    g_object_unref(operation);
    return;
  }
  char* uri = g_filename_to_uri(pdf, nullptr, nullptr);
  GtkPrintSettings* settings = gtk_print_settings_new();
  gtk_print_settings_set_printer(settings, "Print to File");
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
  if (uri) gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
  gtk_print_settings_set_n_copies(settings, std::max(1, choice->copies));
  g_free(uri);
  webkit_print_operation_set_print_settings(operation, settings);
  g_object_unref(settings);
  g_signal_connect(operation, "failed", G_CALLBACK(&Signals::OnPrintFailed), nullptr);
  g_signal_connect(operation, "finished", G_CALLBACK(&Signals::OnPrintDone), nullptr);
  webkit_print_operation_print(operation);
}

CourseWindows::CourseWindows(WebKitWebContext* context, const Settings& settings,
                             std::function<void()> on_quit)
    : context_(context),
      settings_(settings),
      on_quit_(std::move(on_quit)),
      module_([this] { on_quit_(); }) {
  Result<std::unique_ptr<platform::Registry>> registry = platform::Registry::OpenDefault();
  if (registry.ok()) {
    registry_ = std::move(registry).value();
  } else {
    std::fprintf(stderr, "lumo: no redirects: %s\n", registry.message().c_str());
  }
  g_signal_connect(context_, "download-started",
                   G_CALLBACK(&CourseWindow::Signals::OnDownloadStarted), this);
}

CourseWindows::~CourseWindows() {
  g_signal_handlers_disconnect_by_data(context_, this);
  CloseAll();
}

CourseWindow* CourseWindows::Adopt(std::unique_ptr<CourseWindow> window) {
  CourseWindow* adopted = window.get();
  windows_.push_back(std::move(window));
  if (window_opened_) window_opened_(*adopted);
  return adopted;
}

CourseWindow* CourseWindows::Open(CourseWindow* parent, const PageSource& source, int width,
                                  int height) {
  CourseWindow* window =
      Adopt(std::unique_ptr<CourseWindow>(new CourseWindow(*this, parent, nullptr, width, height)));
  window->Load(source);
  return window;
}

CourseWindow* CourseWindows::FindByPage(uint64_t page_id) const {
  for (const auto& window : windows_) {
    if (window->page_id() == page_id) return window.get();
  }
  return nullptr;
}

void CourseWindows::Forget(CourseWindow* window) {
  const auto it = std::find_if(windows_.begin(), windows_.end(),
                               [window](const auto& held) { return held.get() == window; });
  if (it == windows_.end()) return;
  std::unique_ptr<CourseWindow> gone = std::move(*it);
  windows_.erase(it);
  if (page_closed_) page_closed_(gone->page_id());
  // Its own pop-ups go with it, after it.
  std::vector<GtkWidget*> popups;
  for (const auto& other : windows_) {
    if (other->parent_ != gone.get()) continue;
    other->parent_ = nullptr;
    popups.push_back(GTK_WIDGET(other->window_));
  }
  gone.reset();
  for (GtkWidget* popup : popups) gtk_widget_destroy(popup);
}

void CourseWindows::CloseAll() {
  while (!windows_.empty()) {
    gtk_widget_destroy(GTK_WIDGET(windows_.back()->window_));
  }
}

}  // namespace norwin::host
