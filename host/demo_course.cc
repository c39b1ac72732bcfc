#include "norwin/host/demo_course.h"

#include <optional>
#include <string>
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

namespace {

// Names `folder` under `name` when the registry names nothing there, and
// makes the folder. A location already named is left to whoever named it.
Status EnsureLocation(platform::Registry& registry, std::string_view name, const fs::path& folder) {
  Result<std::optional<platform::RegValue>> value = registry.GetValue(kDemoKey, name);
  if (!value.ok()) return Status::Error(value.message());
  if (*value && !(*value)->text.empty()) return Status::Ok();
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    return Status::Error("cannot make the folder " + folder.string() + ": " + error.message());
  }
  return registry.SetValue(kDemoKey, name, platform::RegValue::String(folder.string()));
}

}  // namespace

Status PrepareDemoRecords(platform::Registry& registry, const fs::path& prefix) {
  const fs::path records = prefix / "demo-records";
  if (Status status = EnsureLocation(registry, kDemoRecordsValue, records); !status.ok()) {
    return status;
  }
  return EnsureLocation(registry, kDemoProgressValue, records / "progress");
}

}  // namespace norwin::host
