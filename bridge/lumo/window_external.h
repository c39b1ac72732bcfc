// What window.external does in one course window of lumo: the ExternalHost
// of the window's scripting object, over the host's window, progress file,
// search, printing and shell services.
//
// It is called on the apartment thread (page_server.h). The cookie calls
// and SetKey run there, on the thread-safe progress store; everything that
// touches the window or GTK (the window, search, printing, the shell,
// progress import and export) runs on the UI thread while the call waits.
// Calls that need the calling page's own web view (Print, Stop, Popup,
// Popup2) are answered at once and carried out right after, from the main
// loop, so that a page never waits on its own window; the others are
// carried out before the call returns. Owned by its window (as the window's
// attachment); once the window is destroyed its calls do nothing.
#pragma once

#include "norwin/bridge/external_object.h"
#include "norwin/host/course_window.h"
#include "norwin/host/search.h"
#include "norwin/host/settings.h"

namespace norwin::bridge {

// The services every window shares.
struct LumoServices {
  explicit LumoServices(host::Settings& course_settings)
      : settings(course_settings), search(course_settings.drive) {}
  host::Settings& settings;
  host::SearchService search;
};

class WindowExternal final : public ExternalHost {
 public:
  // `window` and `services` must outlive this object (the window owns it).
  WindowExternal(host::CourseWindow& window, LumoServices& services)
      : window_(window), alive_(window.alive()), services_(services) {}

  void Print() override;
  void Stop() override;
  void Minimize() override;
  void Restore() override;
  void ShellExec(std::string_view file) override;
  std::string GetCookie(std::string_view name) override;
  void AppendChip(std::string_view name, std::string_view value) override;
  void ConfigureSearch(std::string_view word_file, std::string_view vector_file,
                       std::string_view title_file) override;
  std::string Search(std::string_view query) override;
  void Popup(std::string_view url, int32_t x, int32_t y, int32_t width, int32_t height) override;
  void Popup2(std::string_view html, int32_t x, int32_t y, int32_t width, int32_t height) override;
  void SetCookie(std::string_view name, std::string_view value) override;
  void PrintStr(std::string_view text) override;
  void DelCookie(std::string_view name) override;
  void Open(std::string_view question) override;
  void Save() override;
  void SaveMsg(std::string_view text) override;
  void SetKey(std::string_view key) override;

 private:
  // Runs `work` on the window from the main loop, if it still exists then.
  void Later(std::function<void(host::CourseWindow&)> work);
  // Runs `work` on the UI thread and waits for it, if the window still
  // exists then (and the program is not closing).
  void OnUi(const std::function<void()>& work);
  bool alive() const { return !alive_.expired(); }

  host::CourseWindow& window_;
  std::weak_ptr<const bool> alive_;
  LumoServices& services_;
};

}  // namespace norwin::bridge
