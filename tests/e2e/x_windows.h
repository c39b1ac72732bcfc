// The display's top-level windows as a window manager sees them, for the
// window tests: a program's own windows (found by the process that owns
// them, since tests run side by side on one display and every lumo window
// has the same class), closing one as a close button does, and what
// programs ask of the window manager (pings answered, requests to
// minimise). Its own file because Xlib's macros
// (Status, None, Bool) collide with the project's names.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace norwin::testing {

// A shown top-level window.
struct ShownWindow {
  unsigned long id = 0;
  std::string caption;
  int width = 0;
  int height = 0;
  bool transient = false;  // it names an owner (WM_TRANSIENT_FOR)
  bool has_icon = false;   // it has an icon (_NET_WM_ICON)
};

// The shown top-level windows of process `pid` (as _NET_WM_PID says).
std::vector<ShownWindow> WindowsOf(pid_t pid);

// Asks window `id` to close (WM_DELETE_WINDOW), as a window manager's
// close button does; false when it could not be asked. Only a program
// whose main loop runs answers it.
bool AskWindowToClose(unsigned long id);

// Watches the display from the window manager's seat: what programs ask of
// it, and whether a window answers. It sees what happens
// from its making on.
class WindowManagerSeat {
 public:
  WindowManagerSeat();
  ~WindowManagerSeat();
  WindowManagerSeat(const WindowManagerSeat&) = delete;
  WindowManagerSeat& operator=(const WindowManagerSeat&) = delete;

  // Whether the display could be opened.
  bool ok() const;

  // Pings window `id` (_NET_WM_PING) as a window manager does to tell a
  // program that hangs; whether it answered within `timeout_ms`. The answer
  // comes from the program's event loop.
  bool Ping(unsigned long id, int timeout_ms);

  // Whether window `id` asked to be minimised (ICCCM WM_CHANGE_STATE,
  // IconicState), waiting at most `timeout_ms` for it.
  bool AskedToMinimise(unsigned long id, int timeout_ms);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace norwin::testing
