// The title bar of a course window: the window menu's button at its start,
// the caption in the middle, the minimise and close buttons at its end.
//
// The window is exactly as wide as its page, so the caption takes the room
// the buttons leave and no more: a caption that fits is shown whole and
// centred, a longer one is cut with an ellipsis, and neither widens the
// window. A window too narrow even for the buttons gets the desktop's own
// frame instead, which shows the window's title.
#pragma once

#include <gtk/gtk.h>

namespace norwin::host {

// Gives `window`, whose page is `width` pixels wide, a title bar showing
// `caption`, with `start` (the window menu's button; nullptr for none) at
// its start. Returns the label that shows the caption (set its text when
// the caption changes), or nullptr when the window has the desktop's frame.
GtkLabel* AddTitleBar(GtkWindow* window, int width, const char* caption, GtkWidget* start);

}  // namespace norwin::host
