#include "e2e/close_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace norwin::testing {

bool AskWindowToClose(const std::string& name) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
  unsigned count = 0;
  bool asked = false;
  if (XQueryTree(display, root, &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count && !asked; ++i) {
      XWindowAttributes attributes;
      if (!XGetWindowAttributes(display, children[i], &attributes) ||
          attributes.map_state != IsViewable)
        continue;
      std::string names;
      char* caption = nullptr;
      if (XFetchName(display, children[i], &caption) && caption) names += caption;
      if (caption) XFree(caption);
      XClassHint hint{};
      if (XGetClassHint(display, children[i], &hint)) {
        names += std::string("\n") + (hint.res_name ? hint.res_name : "") + "\n" +
                 (hint.res_class ? hint.res_class : "");
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
      }
      if (names.find(name) == std::string::npos) continue;
      XEvent event{};
      event.xclient.type = ClientMessage;
      event.xclient.window = children[i];
      event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
      event.xclient.format = 32;
      event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
      event.xclient.data.l[1] = CurrentTime;
      asked = XSendEvent(display, children[i], False, NoEventMask, &event) != 0;
    }
    if (children) XFree(children);
  }
  XCloseDisplay(display);
  return asked;
}

}  // namespace norwin::testing
