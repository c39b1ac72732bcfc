#include "norwin/host/demo_course.h"

#include <system_error>

#include "norwin/host/program_folder.h"
#include "norwin/layout.h"
#include "norwin/platform/drives.h"

namespace norwin::host {

namespace fs = std::filesystem;

namespace {

constexpr char kSettingsFile[] = "demo.cfg";

}  // namespace

fs::path DemoCourseFolder() {
  return (ExecutableFolder() / kDataFolderFromProgram / "demo-course").lexically_normal();
}

Result<std::string> PrepareDemoCourse(const fs::path& course_folder) {
  std::error_code error;
  if (!fs::is_regular_file(course_folder / kSettingsFile, error)) {
    return Status::Error("the demo course is missing: no " +
                         (course_folder / kSettingsFile).string());
  }
  const fs::path drives = platform::DrivesDir();
  fs::create_directories(drives, error);
  if (error) return Status::Error("cannot create " + drives.string() + ": " + error.message());
  char free_letter = 0;
  for (char letter = 'd'; letter <= 'z'; ++letter) {
    const fs::path entry = drives / std::string(1, letter);
    const fs::file_status status = fs::symlink_status(entry, error);
    if (!fs::exists(status)) {
      if (!free_letter) free_letter = letter;
      continue;
    }
    if (fs::equivalent(entry, course_folder, error)) {
      return std::string(1, letter) + ":\\" + kSettingsFile;
    }
  }
  if (!free_letter) {
    return Status::Error("no free drive letter for the demo course in " + drives.string());
  }
  const fs::path link = drives / std::string(1, free_letter);
  fs::create_directory_symlink(fs::absolute(course_folder), link, error);
  if (error) return Status::Error("cannot create " + link.string() + ": " + error.message());
  return std::string(1, free_letter) + ":\\" + kSettingsFile;
}

}  // namespace norwin::host
