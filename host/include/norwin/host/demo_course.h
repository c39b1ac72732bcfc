// The demo course that comes with the programs (`lumo --demo`): a course
// folder in share/lumo/demo-course, found from the program's own folder, so
// that an installed lumo and the one in the build tree both open it.
//
// Course pages name their files from the root of their drive, so the
// folder is made a drive of the prefix ($NORWIN_PREFIX/drives) before the
// course starts: the drive that already links to it, otherwise the first
// letter from d: to z: that has no entry yet (the user's own drives are
// never changed).
#pragma once

#include <filesystem>
#include <string>

#include "norwin/platform/status.h"

namespace norwin::host {

// share/lumo/demo-course relative to the running program's folder.
std::filesystem::path DemoCourseFolder();

// Links `course_folder` as a drive (see above) and returns the settings
// location that opens it ("e:\demo.cfg"). Fails with a message naming the
// folder when it holds no demo.cfg, or when every letter is taken.
Result<std::string> PrepareDemoCourse(const std::filesystem::path& course_folder);

}  // namespace norwin::host
