// Opening a course file with the desktop's default application, for page
// script (ShellExec): the file is found on the course drive, the user is
// asked to retry while it cannot be opened, and the application is started
// without waiting for it.
#pragma once

#include <optional>
#include <string_view>

#include "norwin/host/settings.h"

namespace norwin::host {

// Opens the Windows path `file`. Its drive is its own letter when it has
// one, else the course drive searched for it (template 101 while none
// holds it; Cancel ends the call); that drive becomes the settings' course
// drive and the current drive, its root the current folder. While the file
// cannot be opened template 103 asks to retry; after Cancel it is shown once
// more and the call ends. Texts of 258 characters or more are ignored.
// Returns the course drive it settled on; nullopt when it ended before.
// A failure to start the application is only traced on standard error.
std::optional<char> ShellExecCourseFile(std::string_view file, Settings& settings);

}  // namespace norwin::host
