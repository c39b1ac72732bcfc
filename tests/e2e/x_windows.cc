#include "e2e/x_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>

namespace norwin::testing {
namespace {

// Windows of other tests come and go meanwhile: a request about one that
// has just gone is no reason to end the test program, as Xlib's default
// handler would.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

Display* OpenDisplay() {
  XSetErrorHandler(&IgnoreErrors);
  return XOpenDisplay(nullptr);
}

// The first 32-bit item of property `name` of `window`, if it has one.
std::optional<unsigned long> CardinalProperty(Display* display, Window window, const char* name) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<unsigned long> value;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False,
                         AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
      data && format == 32 && count > 0) {
    value = *reinterpret_cast<unsigned long*>(data);
  }
  if (data) XFree(data);
  return value;
}

std::string Caption(Display* display, Window window) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string caption;
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024,
                         False, XInternAtom(display, "UTF8_STRING", False), &type, &format, &count,
                         &after, &data) == Success &&
      data && format == 8) {
    caption.assign(reinterpret_cast<char*>(data), count);
  }
  if (data) XFree(data);
  return caption;
}

void SendClientMessage(Display* display, Window window, const char* protocol, long time) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, protocol, False));
  event.xclient.data.l[1] = time;
  event.xclient.data.l[2] = static_cast<long>(window);
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

}  // namespace

std::vector<ShownWindow> WindowsOf(pid_t pid) {
  std::vector<ShownWindow> found;
  Display* display = OpenDisplay();
  if (!display) return found;
  Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(display, root, &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes attributes;
      if (!XGetWindowAttributes(display, children[i], &attributes) ||
          attributes.map_state != IsViewable ||
          CardinalProperty(display, children[i], "_NET_WM_PID") != static_cast<unsigned long>(pid))
        continue;
      Window owner = 0;
      ShownWindow shown;
      shown.id = children[i];
      shown.caption = Caption(display, children[i]);
      shown.width = attributes.width;
      shown.height = attributes.height;
      shown.transient = XGetTransientForHint(display, children[i], &owner) && owner != 0;
      shown.has_icon = CardinalProperty(display, children[i], "_NET_WM_ICON").has_value();
      found.push_back(shown);
    }
    if (children) XFree(children);
  }
  XCloseDisplay(display);
  return found;
}

bool AskWindowToClose(unsigned long id) {
  Display* display = OpenDisplay();
  if (!display) return false;
  SendClientMessage(display, id, "WM_DELETE_WINDOW", CurrentTime);
  XCloseDisplay(display);
  return true;
}

struct WindowManagerSeat::State {
  Display* display = nullptr;
  std::vector<unsigned long> minimise_requests;
  std::vector<long> pings_answered;

  // Reads the display's events for at most `timeout_ms`, until `done`.
  bool Read(int timeout_ms, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        Take(event);
      }
      if (done()) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd waiter{ConnectionNumber(display), POLLIN, 0};
      poll(&waiter, 1, static_cast<int>(left.count()));
    }
  }

  void Take(const XEvent& event) {
    if (event.type == ClientMessage && event.xclient.format == 32) {
      const Atom type = event.xclient.message_type;
      if (type == XInternAtom(display, "WM_CHANGE_STATE", False) &&
          event.xclient.data.l[0] == IconicState) {
        minimise_requests.push_back(event.xclient.window);
      } else if (type == XInternAtom(display, "WM_PROTOCOLS", False) &&
                 static_cast<Atom>(event.xclient.data.l[0]) ==
                     XInternAtom(display, "_NET_WM_PING", False)) {
        pings_answered.push_back(event.xclient.data.l[1]);
      }
    }
  }
};

WindowManagerSeat::WindowManagerSeat() : state_(std::make_unique<State>()) {
  state_->display = OpenDisplay();
  if (!state_->display) return;
  // What programs ask of the window manager is sent to the root window.
  const Window root = DefaultRootWindow(state_->display);
  XSelectInput(state_->display, root, SubstructureNotifyMask);
  XSync(state_->display, False);
}

WindowManagerSeat::~WindowManagerSeat() {
  if (state_->display) XCloseDisplay(state_->display);
}

bool WindowManagerSeat::ok() const { return state_->display != nullptr; }

bool WindowManagerSeat::Ping(unsigned long id, int timeout_ms) {
  if (!ok()) return false;
  static long serial = 1;
  const long time = ++serial;
  SendClientMessage(state_->display, id, "_NET_WM_PING", time);
  return state_->Read(timeout_ms, [&] {
    for (long answered : state_->pings_answered)
      if (answered == time) return true;
    return false;
  });
}

bool WindowManagerSeat::AskedToMinimise(unsigned long id, int timeout_ms) {
  return ok() && state_->Read(timeout_ms, [&] {
    return std::find(state_->minimise_requests.begin(), state_->minimise_requests.end(), id) !=
           state_->minimise_requests.end();
  });
}

}  // namespace norwin::testing
