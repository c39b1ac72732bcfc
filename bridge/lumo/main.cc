// lumo: the course host. The start (command line, settings, registration)
// is the host's (start_up.h); this program adds what joins the course
// windows to page script: the socket server of the bridge, the web-process
// extension that reaches it, and each window's scripting object.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "bridge/lumo/demo_library.h"
#include "bridge/lumo/window_external.h"
#include "norwin/bridge/external_object.h"
#include "norwin/bridge/page_server.h"
#include "norwin/host/command_line.h"
#include "norwin/host/course_scheme.h"
#include "norwin/host/course_window.h"
#include "norwin/host/page_address.h"
#include "norwin/host/program_folder.h"
#include "norwin/host/start_up.h"
#include "norwin/layout.h"
#include "norwin/platform/clock.h"
#include "norwin/platform/heap.h"
#include "norwin/platform/ui_thread.h"

namespace norwin::bridge {
namespace {

// Where liblumo-webext.so is: lumo-webext/ in the library folder, found
// from the program's own folder (norwin/layout.h), in the build tree as
// where it is installed. A folder of its own, because the engine loads
// every library of the folder it is given.
std::filesystem::path ExtensionFolder() {
  return (host::ExecutableFolder() / kLibraryFolderFromProgram / "lumo-webext").lexically_normal();
}

int RunCourse(host::Settings& settings) {
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "lumo: cannot open a window: no display\n");
    return host::kStartFailed;
  }
  const std::optional<std::string> start = host::BrowserAddress(settings.run);
  if (!start) {
    std::fprintf(stderr, "lumo: cannot open the start page %s\n", settings.run.c_str());
    return host::kStartFailed;
  }

  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  LumoServices services(settings);
  host::CourseWindows* windows_ptr = nullptr;

  Result<std::unique_ptr<PageServer>> server = PageServer::Start(
      // Called on the apartment thread; trust and windows are the UI's.
      [&](uint64_t page_id, std::string_view address) -> automation::Ref<automation::Object> {
        automation::Ref<automation::Object> external;
        platform::RunOnUiThread([&] {
          if (!windows_ptr) return;
          host::CourseWindow* window = windows_ptr->FindByPage(page_id);
          if (!window || !window->MayScript(address)) return;
          auto host = std::static_pointer_cast<ExternalHost>(
              std::static_pointer_cast<WindowExternal>(window->attachment()));
          external = automation::MakeRef<ExternalObject>(host);
        });
        return external;
      });
  if (!server.ok()) {
    std::fprintf(stderr, "lumo: page script gets no host: %s\n", server.message().c_str());
  }

  WebKitWebContext* context = webkit_web_context_new();
  host::RegisterCourseScheme(context);
  webkit_web_context_set_web_extensions_directory(context, ExtensionFolder().c_str());
  if (server.ok()) {
    webkit_web_context_set_web_extensions_initialization_user_data(
        context,
        g_variant_new("(ss)", (*server)->socket_path().c_str(), (*server)->token().c_str()));
  }

  {
    host::CourseWindows windows(context, settings, [loop] { g_main_loop_quit(loop); });
    windows_ptr = &windows;
    windows.SetTrustedPages(
        host::TrustedPages::ForCourse(*start, windows.registry(), settings.redirKey));
    windows.SetWindowOpened([&services](host::CourseWindow& window) {
      window.set_attachment(std::make_shared<WindowExternal>(window, services));
    });
    if (server.ok()) {
      windows.SetPageClosed([&server](uint64_t page_id) { (*server)->ClosePage(page_id); });
    }
    windows.Open(nullptr, {host::PageSource::Kind::kAddress, *start, {}}, settings.cx, settings.cy);
    g_main_loop_run(loop);
    windows.SetPageClosed(nullptr);
    windows.CloseAll();
    windows_ptr = nullptr;
  }
  // The program is closing: a call still under way in the apartment (a
  // record server that does not answer, a prompt it waits for) ends now, so
  // that its thread can be joined and the objects released.
  platform::StopUiThreadCalls();
  platform::EndWaits();
  if (server.ok()) server->reset();
  g_object_unref(context);
  g_main_loop_unref(loop);
  return 0;
}

}  // namespace
}  // namespace norwin::bridge

int main(int argc, char** argv) {
  // Course pages load question pools and rosters again and again.
  norwin::platform::KeepFreedMemory();
  if (norwin::host::StartModeOf(norwin::host::JoinArguments(argc, argv)) ==
      norwin::host::StartMode::kDemo) {
    norwin::bridge::RegisterRecordLibraryForDemo();
  }
  return norwin::host::RunLumo(argc, argv, &norwin::bridge::RunCourse);
}

// The web engine and the toolkit keep what they set up once per process
// (fonts, themes, the engine's own heaps) until the process ends: reports
// from inside them are not leaks of this program. The accessibility bridge
// keeps its session-bus connection the same way. Sanitizer builds only.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libjavascriptcoregtk-4.1.so\n"
         "leak:libwebkit2gtk-4.1.so\n"
         "leak:libgtk-3.so\n"
         "leak:libgdk-3.so\n"
         "leak:libfontconfig.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\n"
         "leak:libgio-2.0.so\n"
         "leak:libdbus-1.so\n";
}

#ifdef NORWIN_UBSAN_SUPPRESSIONS
// Sanitizer builds: see the suppressions file for why.
extern "C" const char* __ubsan_default_options() {
  return "suppressions=" NORWIN_UBSAN_SUPPRESSIONS;
}
#endif
