#include "e2e/close_window.h"

#include <X11/Xlib.h>

namespace norwin::testing {

bool AskWindowToClose(const std::string& caption) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
  unsigned count = 0;
  bool asked = false;
  if (XQueryTree(display, root, &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count && !asked; ++i) {
      char* name = nullptr;
      if (!XFetchName(display, children[i], &name) || !name) continue;
      if (std::string(name).find(caption) != std::string::npos) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = children[i];
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        asked = XSendEvent(display, children[i], False, NoEventMask, &event) != 0;
      }
      XFree(name);
    }
    if (children) XFree(children);
  }
  XCloseDisplay(display);
  return asked;
}

}  // namespace norwin::testing
