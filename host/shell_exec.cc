#include "norwin/host/shell_exec.h"

#include <cstdio>
#include <string>

#include "norwin/host/course_drive.h"
#include "norwin/host/message_templates.h"
#include "norwin/host/utf8_text.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/shell.h"

namespace norwin::host {

std::optional<char> ShellExecCourseFile(std::string_view file, Settings& settings) {
  // The Windows program's path buffers held 260 characters.
  if (CountCharacters(file) + 2 >= 260) return std::nullopt;
  char drive;
  if (file.size() >= 2 && file[1] == ':') {
    drive = static_cast<char>(std::tolower(static_cast<unsigned char>(file[0])));
  } else {
    const std::optional<char> found = SearchCourseDrive(file);
    if (!found) return std::nullopt;
    drive = *found;
  }
  settings.drive = drive;
  if (platform::SetCurrentDrive(drive).ok()) {
    const std::string root = std::string(1, drive) + ":\\";
    (void)platform::SetCurrentDirectory(root);
  }
  const std::string path(file);
  if (!CheckFile(path, drive)) {
    ShowTemplateMessage(kIdsUnableToOpen, path);
    return drive;
  }
  const std::string prefixed = PrefixDrive(path, drive);
  Result<std::filesystem::path> native = platform::ResolveWindowsPath(prefixed);
  Status opened = native.ok() ? platform::OpenWithDefaultApplication(*native) : native.status();
  if (!opened.ok()) {
    std::fprintf(stderr, "lumo: cannot open %s: %s\n", prefixed.c_str(), opened.message().c_str());
  }
  return drive;
}

}  // namespace norwin::host
