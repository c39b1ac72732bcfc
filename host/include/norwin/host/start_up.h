// The start of Lumo: the command line decides between registering the
// program ("/RegServer"), removing its registration ("/UnRegServer") and
// running a course, whose start configuration the command line names (or
// the user picks when it is empty, or --demo gives: demo_course.h; see
// command_line.h).
#pragma once

#include <functional>

#include "norwin/host/settings.h"

namespace norwin::host {

// Opens the course windows on the loaded settings (the process's record,
// which ShellExec may change) and runs them until the program ends. Given
// by the program, which alone knows how pages reach their scripting objects.
using CourseRunner = std::function<void(Settings&)>;

// Runs the program for the command line `argv` and returns its exit
// status: the registration's result in the registration modes, 0 in run
// mode (also when the settings cannot be loaded or the user cancels the
// choice of settings file).
int RunLumo(int argc, const char* const* argv, const CourseRunner& run_course);

}  // namespace norwin::host
