#include "norwin/datalayer/check_setup.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "norwin/automation/convert.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/datalayer/utils.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/program_settings.h"

namespace norwin::datalayer {

namespace {

constexpr std::string_view kSettings[] = {"XMLDir", "QuestionPoolDir", "TestResultsDir",
                                          "StudentIdDir"};

bool FolderExists(std::string_view folder) {
  Result<std::filesystem::path> path = platform::ResolveCoursePath(folder);
  std::error_code error;
  return path.ok() && std::filesystem::is_directory(*path, error);
}

// The report line for one setting; empty when it is in order.
std::string CheckEntry(std::string_view app, std::string_view section, std::string_view key) {
  // A store that cannot be read, or names it refuses, hold no setting.
  Result<std::string> stored = platform::GetSetting(app, section, key, "");
  const std::string value = stored.ok() ? std::move(stored).value() : std::string();
  if (value.empty()) return {};

  std::string line;
  if (IsURL(value)) {
    if (!PostToServer(AddTrailingSlash(value) + "LoginKey.asp").ok()) {
      line.append("URL specified for registry entry '").append(key).append("' : ('");
      line.append(value).append("') is not responding .\r");
    }
    return line;
  }
  const std::string folder = AddTrailingSlash(value);
  if (!FolderExists(folder)) {
    line.append("Directory specified for registry entry '").append(key);
    line.append("' does not exist ('").append(folder).append("').\r");
  }
  return line;
}

}  // namespace

std::string CheckSetup::Check(const automation::Variant& app_name,
                              const automation::Variant& registry_section) const {
  const std::string app = automation::ToString(app_name);
  const std::string section = automation::ToString(registry_section);
  std::string report;
  for (std::string_view key : kSettings) report.append(CheckEntry(app, section, key));
  return report;
}

NORWIN_CLASS(CheckSetup) { Method("CheckSetup", &CheckSetup::Check); }

}  // namespace norwin::datalayer
