// Closes a window of the display as a window manager's close button does.
// Its own file because Xlib's macros (Status, None, Bool) collide with the
// project's names.
#pragma once

#include <string>

namespace norwin::testing {

// Asks the shown top-level window whose caption or class (as WM_CLASS
// gives it) holds `name` to close (WM_DELETE_WINDOW); false when there is
// no such window. Only a program whose main loop runs answers it.
bool AskWindowToClose(const std::string& name);

}  // namespace norwin::testing
