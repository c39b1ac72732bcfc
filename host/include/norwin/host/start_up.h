// The start of Lumo: the command line decides between registering the
// program ("/RegServer"), removing its registration ("/UnRegServer") and
// running a course, whose start configuration the command line names (or
// the user picks when it is empty, or --demo gives: demo_course.h; see
// command_line.h).
#pragma once

#include <functional>

#include "norwin/host/settings.h"

namespace norwin::host {

// The exit status of a start that failed (no settings, no course drive, an
// unreachable settings server, the user cancelled, no display).
inline constexpr int kStartFailed = 1;

// Opens the course windows on the loaded settings (the process's record,
// which ShellExec may change) and runs them until the program ends; returns
// the exit status (kStartFailed, with one line on standard error, when no
// window could be opened). Given by the program, which alone knows how
// pages reach their scripting objects.
using CourseRunner = std::function<int(Settings&)>;

// Runs the program for the command line `argv` and returns its exit
// status: the registration's result in the registration modes, the
// runner's in run mode. A start that fails before (the settings cannot be
// loaded, the user cancels the choice of settings file) prints one line
// naming the cause on standard error and ends with kStartFailed: unlike the
// Windows program, which ended with 0, so that a script starting a course
// can tell.
int RunLumo(int argc, const char* const* argv, const CourseRunner& run_course);

}  // namespace norwin::host
