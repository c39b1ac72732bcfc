#include "norwin/host/course_window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "norwin/host/about_box.h"
#include "norwin/host/message_templates.h"
#include "norwin/host/navigation_check.h"
#include "norwin/host/page_address.h"
#include "norwin/host/print_device_chooser.h"
#include "norwin/host/string_table.h"
#include "norwin/host/window_caption.h"
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

// `text` as a JavaScript string literal.
std::string ScriptString(std::string_view text) {
  std::string literal = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        literal += "\\\"";
        break;
      case '\\':
        literal += "\\\\";
        break;
      case '\n':
        literal += "\\n";
        break;
      case '\r':
        literal += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
          literal += escaped;
        } else {
          literal += c;
        }
    }
  }
  // A "</script>" inside cannot end anything here, but a line separator
  // would end the literal in older engines; none of those reach this far.
  return literal + "\"";
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
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      return FALSE;
    }
    auto* window = static_cast<CourseWindow*>(self);
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const char* frame = webkit_navigation_action_get_frame_name(action);
    if (!uri) return FALSE;
    ProgressCookies cookies;
    const Settings& settings = window->set_.settings();
    const NavigationAction check = CheckNavigation(uri, frame ? frame : "", window->set_.registry(),
                                                   settings.redirKey, cookies);
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
    webkit_policy_decision_ignore(decision);
    webkit_web_view_stop_loading(view);
    const std::optional<std::string> target = BrowserAddress(check.address, uri);
    if (!target) return TRUE;
    if (check.target_frame.empty() || check.target_frame == "_self" ||
        check.target_frame == "_top") {
      webkit_web_view_load_uri(view, target->c_str());
    } else {
      // A named frame: the top document may navigate any frame of its own.
      const std::string script =
          "window.open(" + ScriptString(*target) + ", " + ScriptString(check.target_frame) + ");";
      webkit_web_view_evaluate_javascript(view, script.c_str(), -1, nullptr, nullptr, nullptr,
                                          nullptr, nullptr);
    }
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

  static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction*, gpointer self) {
    auto* window = static_cast<CourseWindow*>(self);
    const Settings& settings = window->set_.settings();
    auto popup = std::unique_ptr<CourseWindow>(
        new CourseWindow(window->set_, window, view, settings.cx, settings.cy));
    CourseWindow* opened = window->set_.Adopt(std::move(popup));
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

  static void OnWebProcessGone(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer) {
    std::fprintf(stderr, "lumo: the page's web process ended (%s)\n",
                 reason == WEBKIT_WEB_PROCESS_CRASHED ? "crashed" : "ran out of memory");
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
  gtk_window_set_icon_name(window_, "applications-education");

  // The title bar carries the window menu: the Windows program added its
  // About item to the system menu, which a desktop here does not let a
  // program extend.
  GtkWidget* bar = gtk_header_bar_new();
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(bar), TRUE);
  gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(bar), ":minimize,close");
  if (std::optional<std::string> about = ProgramStrings().Load(kIdsAboutMenu, 256)) {
    GtkWidget* menu = gtk_menu_new();
    GtkWidget* item = gtk_menu_item_new_with_label(about->c_str());
    g_signal_connect(item, "activate", G_CALLBACK(&Signals::OnAbout), this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    gtk_widget_show_all(menu);
    GtkWidget* button = gtk_menu_button_new();
    gtk_button_set_image(GTK_BUTTON(button),
                         gtk_image_new_from_icon_name("open-menu-symbolic", GTK_ICON_SIZE_BUTTON));
    gtk_menu_button_set_popup(GTK_MENU_BUTTON(button), menu);
    gtk_header_bar_pack_start(GTK_HEADER_BAR(bar), button);
  }
  gtk_window_set_titlebar(window_, bar);

  if (related) {
    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, nullptr));
  } else {
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(set_.context()));
  }
  ApplyViewSettings(view_);
  gtk_widget_set_size_request(GTK_WIDGET(view_), width, height);
  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));

  if (parent_) {
    gtk_window_set_transient_for(window_, parent_->window_);
    gtk_window_set_destroy_with_parent(window_, TRUE);
    const bool over_parent =
        gtk_widget_get_visible(GTK_WIDGET(parent_->window_)) && !IsIconified(parent_->window_);
    gtk_window_set_position(window_,
                            over_parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
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

  // A view the engine made for window.open shows once the engine says so.
  if (!related) gtk_widget_show_all(GTK_WIDGET(window_));
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
      webkit_web_view_load_uri(view_, source.text.c_str());
      break;
    case PageSource::Kind::kHtml:
      webkit_web_view_load_html(view_, source.text.c_str(),
                                source.base.empty() ? nullptr : source.base.c_str());
      break;
  }
}

void CourseWindow::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  gtk_window_set_title(window_, caption_.c_str());
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
}

CourseWindows::~CourseWindows() { CloseAll(); }

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
  // Its own pop-ups go with it (destroy-with-parent), but after it.
  for (const auto& other : windows_) {
    if (other->parent_ == gone.get()) other->parent_ = nullptr;
  }
}

void CourseWindows::CloseAll() {
  while (!windows_.empty()) {
    gtk_widget_destroy(GTK_WIDGET(windows_.back()->window_));
  }
}

}  // namespace norwin::host
