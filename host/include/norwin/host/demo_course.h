// The demo course that comes with the programs (`lumo --demo`): a course
// folder in share/lumo/demo-course, found from the program's own folder, so
// that an installed lumo and the one in the build tree both open it. It
// opens as any course named by the native path of its settings file does:
// its folder becomes a drive of the process alone, and the user's drives
// are left as they are.
#pragma once

#include <filesystem>

#include "norwin/platform/status.h"

namespace norwin::host {

// share/lumo/demo-course relative to the running program's folder.
std::filesystem::path DemoCourseFolder();

// The demo's settings file (demo.cfg in that folder); fails, naming the
// file, when the course is missing.
Result<std::filesystem::path> DemoSettingsFile();

}  // namespace norwin::host
