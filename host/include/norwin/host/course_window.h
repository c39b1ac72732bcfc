// Course windows: the fixed-size top-level windows of Lumo, each holding one
// web view, and the set of them that one run of the program keeps.
//
// A window's client area is exactly the size it was opened with, however
// small, and cannot be resized; its caption is "Lumo" until the page has a
// title (see window_caption.h); its window menu (the button at the left of
// its title bar) holds "About Lumo...", where the title bar is wide enough
// for it; it shows the program's icon (program_icon.h). It is centred on the
// screen, or a pop-up over the window that opened it; pop-ups can be
// minimised on their own. The page's alert and confirm boxes are message
// boxes captioned "Lumo" through the process's prompts; a page that cannot
// be loaded shows a plain page saying so, with a way back.
//
// Navigations of a trusted page (page_address.h) to trusted addresses pass
// the navigation check (navigation_check.h); a redirect is carried out in
// the frame that navigated (the web-process extension rewrites that
// frame's request), never by replacing the whole window unless the window
// itself navigated. Pages from elsewhere are never redirected, and never
// write a cookie through the check.
//
// Downloads: a download from an address that is not trusted is refused; one
// from a trusted address goes through the prompts' save chooser, asks
// before it replaces a file, and is reported on standard error.
//
// When a page's web process ends (a crash, no memory, killed), the window
// loads the page again, at most kMaxReloadsPerMinute times a minute, saying
// so on standard error; after that it tells the user and stays open.
//
// Closing (the close button, window.close() or Stop from page script):
// the main window offers to save the progress file (ProgressStore::Export)
// and then ends the program through the set's quit callback, without
// being destroyed; a pop-up is destroyed alone. Every window holds one lock
// of the set's Module; when the last lock goes the program ends too.
//
// Everything runs on the GTK thread. CourseWindows owns its windows; a
// CourseWindow pointer stays valid until its window is destroyed, which
// never happens inside a call of its own methods (Stop defers nothing, so
// page script's Stop must be deferred by the caller; see the bridge).
#pragma once

#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/host/module.h"
#include "norwin/host/page_address.h"
#include "norwin/host/progress_file.h"
#include "norwin/host/settings.h"
#include "norwin/platform/registry.h"

namespace norwin::host {

class CourseWindows;

// How often a window loads a page again after its web process ended,
// within a minute, before it gives up.
inline constexpr size_t kMaxReloadsPerMinute = 3;

// What a new window shows first.
struct PageSource {
  enum class Kind { kNothing, kAddress, kHtml };
  Kind kind = Kind::kNothing;
  std::string text;  // the absolute address, or the HTML text
  std::string base;  // kHtml: the address the HTML is taken to come from
};

class CourseWindow {
 public:
  CourseWindow(const CourseWindow&) = delete;
  CourseWindow& operator=(const CourseWindow&) = delete;
  ~CourseWindow();

  GtkWindow* window() const { return window_; }
  WebKitWebView* view() const { return view_; }
  // The id that the web process knows the view's page by.
  uint64_t page_id() const;
  bool is_popup() const { return popup_; }
  const std::string& caption() const { return caption_; }
  ProgressWindowState& progress() { return progress_; }

  // Something that lives exactly as long as the window (what the layers
  // above attach to it, such as its scripting object's host).
  void set_attachment(std::shared_ptr<void> attachment) { attachment_ = std::move(attachment); }
  const std::shared_ptr<void>& attachment() const { return attachment_; }
  // Expires when the window is destroyed: for work that may outlive it
  // (a deferred call, a call running a nested main loop).
  std::weak_ptr<const bool> alive() const { return alive_; }

  // Closes as described above. A pop-up is destroyed before this returns.
  void Stop();
  // The page's print dialog (the GTK one on a desktop; with other prompts
  // their print dialog, printing to $NORWIN_PRINT_TO_PDF on OK).
  void Print();
  void Minimize();
  void Restore();
  // Opens a pop-up owned by this window, its client area `width` by
  // `height`, showing `source`. Returns it; nullptr when it cannot.
  CourseWindow* OpenPopup(const PageSource& source, int width, int height);
  // The address of the page the window shows ("" before the first).
  std::string address() const;
  // Whether page script at `address` may reach the host: a trusted address
  // (CourseWindows::IsTrusted) that this window itself loaded or was asked
  // to navigate to, as the UI process knows it, not only as the web
  // process reports it.
  bool MayScript(std::string_view address) const;
  // Shows the wait cursor over the window while `busy`.
  void SetBusy(bool busy);

 private:
  friend class CourseWindows;
  struct Signals;
  CourseWindow(CourseWindows& set, CourseWindow* parent, WebKitWebView* related, int width,
               int height);
  void Load(const PageSource& source);
  void SetCaption(std::string caption);
  // Notes that the window loads `address` (and the course address it stands
  // for); the last kSeenAddresses are kept.
  void Remember(std::string_view address);
  void WebProcessEnded(const char* reason);
  void BuildTitleBar(int width);

  CourseWindows& set_;
  CourseWindow* parent_;  // null once the parent has gone
  const bool popup_;
  GtkWindow* window_ = nullptr;
  WebKitWebView* view_ = nullptr;
  GtkLabel* title_ = nullptr;  // the title bar's caption; null without a title bar
  std::string caption_;
  std::deque<std::string> seen_;
  // Redirects of the navigation check under way: address -> target.
  std::deque<std::pair<std::string, std::string>> redirects_;
  std::deque<std::chrono::steady_clock::time_point> crashes_;
  ProgressWindowState progress_;
  std::shared_ptr<void> attachment_;
  std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

class CourseWindows {
 public:
  // Windows show pages of `context` (not owned; outlives the set) and read
  // `settings`. `on_quit` ends the program's main loop; it is called when
  // the main window closes and when the last lock goes.
  CourseWindows(WebKitWebContext* context, const Settings& settings, std::function<void()> on_quit);
  // Destroys every window left.
  ~CourseWindows();
  CourseWindows(const CourseWindows&) = delete;
  CourseWindows& operator=(const CourseWindows&) = delete;

  // Called with every new window, before it loads anything.
  void SetWindowOpened(std::function<void(CourseWindow&)> handler) {
    window_opened_ = std::move(handler);
  }
  // Called with the page id of every window as it is destroyed.
  void SetPageClosed(std::function<void(uint64_t)> handler) { page_closed_ = std::move(handler); }

  // Opens the main window (no parent) or a pop-up of `parent`.
  CourseWindow* Open(CourseWindow* parent, const PageSource& source, int width, int height);

  // The window whose page has id `page_id`; nullptr when none.
  CourseWindow* FindByPage(uint64_t page_id) const;

  // Destroys every window (at the end of the program).
  void CloseAll();

  WebKitWebContext* context() const { return context_; }
  const Settings& settings() const { return settings_; }
  Module& module() { return module_; }
  // The machine's registry for the navigation check; nullptr when it cannot
  // be opened (redirect values then count as missing).
  platform::Registry* registry() const { return registry_.get(); }
  void Quit() { on_quit_(); }

  // The course's trusted pages; until set, every address but file: and the
  // course drives' is untrusted.
  void SetTrustedPages(TrustedPages trusted) { trusted_ = std::move(trusted); }
  bool IsTrusted(std::string_view address) const { return trusted_.IsTrusted(address); }

 private:
  friend class CourseWindow;
  CourseWindow* Adopt(std::unique_ptr<CourseWindow> window);
  void Forget(CourseWindow* window);

  WebKitWebContext* context_;
  const Settings& settings_;
  std::function<void()> on_quit_;
  Module module_;
  std::unique_ptr<platform::Registry> registry_;
  TrustedPages trusted_{std::vector<std::string>{}};
  std::vector<std::unique_ptr<CourseWindow>> windows_;
  std::function<void(CourseWindow&)> window_opened_;
  std::function<void(uint64_t)> page_closed_;
};

// Shows the About box of Lumo, modal, over `owner`.
void ShowAboutBox(GtkWindow* owner);

}  // namespace norwin::host
