#include "norwin/host/demo_course.h"

#include <system_error>

#include "norwin/host/program_folder.h"
#include "norwin/layout.h"

namespace norwin::host {

namespace fs = std::filesystem;

fs::path DemoCourseFolder() {
  return (ExecutableFolder() / kDataFolderFromProgram / "demo-course").lexically_normal();
}

Result<fs::path> DemoSettingsFile() {
  const fs::path file = DemoCourseFolder() / "demo.cfg";
  std::error_code error;
  if (!fs::is_regular_file(file, error)) {
    return Status::Error("the demo course is missing: no " + file.string());
  }
  return file;
}

}  // namespace norwin::host
