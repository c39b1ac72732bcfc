#include "norwin/host/course_drive.h"

#include "norwin/host/file_handle.h"
#include "norwin/host/message_templates.h"
#include "norwin/platform/prompts.h"

namespace norwin::host {

std::optional<char> SearchCourseDrive(std::string_view path) {
  std::string candidate = "c:";
  candidate.append(path);
  for (;;) {
    for (char letter = 'c'; letter <= 'z'; ++letter) {
      candidate[0] = letter;
      if (FileCanBeOpened(candidate)) return letter;
    }
    if (ShowTemplateMessage(kIdsCdromNotFound) == platform::kIdCancel) return std::nullopt;
  }
}

std::string PrefixDrive(std::string_view path, char drive) {
  if (path.empty() || (path.size() >= 2 && path[1] == ':')) return std::string(path);
  std::string prefixed;
  prefixed.reserve(path.size() + 2);
  prefixed += drive;
  prefixed += ':';
  prefixed.append(path);
  return prefixed;
}

bool CheckFile(std::string_view path, char drive) {
  const std::string prefixed = PrefixDrive(path, drive);
  while (!FileCanBeOpened(prefixed)) {
    if (ShowTemplateMessage(kIdsUnableToOpen, path) != platform::kIdRetry) return false;
  }
  return true;
}

}  // namespace norwin::host
