// The demo course that comes with the programs (`lumo --demo`): a course
// folder in share/lumo/demo-course, found from the program's own folder, so
// that an installed lumo and the one in the build tree both open it. It
// opens as any course named by the native path of its settings file does:
// its folder becomes a drive of the process alone, and the user's drives
// are left as they are.
#pragma once

#include <filesystem>
#include <string_view>

#include "norwin/platform/registry.h"
#include "norwin/platform/status.h"

namespace norwin::host {

// Where the demo's pages read the location of their records ("Records": a
// folder, or a record server's address) and of their progress file ("Path").
inline constexpr std::string_view kDemoKey = "HKEY_CURRENT_USER\\Software\\Lumo Demo";
inline constexpr std::string_view kDemoRecordsValue = "Records";
inline constexpr std::string_view kDemoProgressValue = "Path";

// share/lumo/demo-course relative to the running program's folder.
std::filesystem::path DemoCourseFolder();

// The demo's settings file (demo.cfg in that folder); fails, naming the
// file, when the course is missing.
Result<std::filesystem::path> DemoSettingsFile();

// Gives the demo a records folder of the user's own, `prefix`/demo-records
// (the progress file in its progress/), where the registry names none: the
// installed course folder is never writable, and its pages keep nothing
// without one. Values already set (scripts/demo sets its own, a teacher may
// name a server) are left as they are; the folders it names are made.
Status PrepareDemoRecords(platform::Registry& registry, const std::filesystem::path& prefix);

}  // namespace norwin::host
