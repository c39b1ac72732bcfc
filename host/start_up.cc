#include "norwin/host/start_up.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "norwin/host/choose_file.h"
#include "norwin/host/command_line.h"
#include "norwin/host/demo_course.h"
#include "norwin/host/message_templates.h"
#include "norwin/host/registration.h"
#include "norwin/host/settings.h"
#include "norwin/host/string_table.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/prefix.h"
#include "norwin/platform/registry.h"
#include "norwin/version.h"

namespace norwin::host {
namespace {

// The process's exit status for an HRESULT. Only its low byte reaches the
// parent, so a failure whose low byte is 0 becomes 1 rather than passing for
// success.
int ExitCodeOf(HResult result) {
  if (result == kSOk) return 0;
  const int low = static_cast<int>(static_cast<uint32_t>(result) & 0xFF);
  return low != 0 ? low : 1;
}

HResult Registration(RegistrationSwitch action) {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    std::fprintf(stderr, "lumo: cannot find the program's own path: %s\n", error.message().c_str());
    return kEFail;
  }
  Result<std::unique_ptr<platform::Registry>> registry = platform::Registry::OpenDefault();
  if (!registry.ok()) {
    std::fprintf(stderr, "lumo: %s\n", registry.message().c_str());
    return kEFail;
  }
  platform::Registry& reg = **registry;
  std::string message;
  HResult result;
  if (action == RegistrationSwitch::kRegServer) {
    result = RegisterAppId(reg, &message);
    if (result == kSOk) result = RegisterServer(reg, program.string(), &message);
  } else {
    result = UnregisterAppId(reg, &message);
    if (result == kSOk) result = UnregisterServer(reg, &message);
  }
  if (result != kSOk) std::fprintf(stderr, "lumo: %s\n", message.c_str());
  return result;
}

// A settings file named by its native path ("course/lumo.cfg",
// "/media/disc/lumo.cfg"): an existing file, without a drive letter or a
// backslash. Its folder becomes a drive of this process, so that the
// course's root-relative pages ("run=\start.htm") are found beside it.
// Returns the Windows path of the file on that drive; nullopt for a
// location that is not such a path (it is then a Windows path or an
// address, as always), or when no letter is free (the reason in `failure`).
std::optional<std::string> NativeSettingsFile(std::string_view location, std::string* failure) {
  if (location.starts_with('"')) {
    location.remove_prefix(1);
    if (location.ends_with('"')) location.remove_suffix(1);
  }
  if (location.empty() || (location.size() >= 2 && location[1] == ':') ||
      location.find('\\') != std::string_view::npos || location.starts_with("http://")) {
    return std::nullopt;
  }
  std::error_code error;
  const std::filesystem::path file = std::filesystem::absolute(location, error);
  if (error || !std::filesystem::is_regular_file(file, error)) return std::nullopt;
  // A folder that is a drive's root already keeps its letter.
  if (std::optional<std::string> windows = platform::ToWindowsPath(file);
      windows && windows->size() > 3 && windows->find('\\', 3) == std::string::npos) {
    return windows;
  }
  Result<char> drive = platform::MountFolderAsDrive(file.parent_path());
  if (!drive.ok()) {
    *failure = drive.message();
    return std::nullopt;
  }
  return std::string{*drive, ':', '\\'} + file.filename().string();
}

// The demo keeps its records in folders of the user's own; without them its
// pages still show, and say that nothing is kept.
void PrepareDemo() {
  Result<std::unique_ptr<platform::Registry>> registry = platform::Registry::OpenDefault();
  const Status status = registry.ok() ? PrepareDemoRecords(**registry, platform::EnsurePrefixDir())
                                      : registry.status();
  if (!status.ok()) {
    std::fprintf(stderr, "lumo: the demo course keeps no records: %s\n", status.message().c_str());
  }
}

// Ends a start that failed: one line on standard error naming the cause.
int StartFailed(std::string_view cause) {
  std::fprintf(stderr, "lumo: %.*s\n", static_cast<int>(cause.size()), cause.data());
  return kStartFailed;
}

}  // namespace

int RunLumo(int argc, const char* const* argv, const CourseRunner& run_course) {
  const std::string command_line = JoinArguments(argc, argv);
  const StartMode mode = StartModeOf(command_line);
  if (mode == StartMode::kHelp) {
    std::fwrite(UsageText().data(), 1, UsageText().size(), stdout);
    return 0;
  }
  if (mode == StartMode::kVersion) {
    PrintVersion("lumo");
    return 0;
  }
  // The user's Beep setting is read once, now.
  TheMessageService();

  if (mode == StartMode::kChooseSettings || mode == StartMode::kRun || mode == StartMode::kDemo) {
    std::string location;
    if (mode == StartMode::kChooseSettings) {
      std::optional<std::string> chosen = ChooseFile(kIdsSettingsFilter);
      if (!chosen) return StartFailed("no settings file was chosen");
      location = std::move(*chosen);
    } else {
      if (mode == StartMode::kDemo) {
        Result<std::filesystem::path> demo = DemoSettingsFile();
        if (!demo.ok()) return StartFailed(demo.message());
        PrepareDemo();
        location = demo->string();
      } else {
        location = TrimWhiteSpace(command_line);
      }
      std::string failure;
      if (std::optional<std::string> file = NativeSettingsFile(location, &failure)) {
        location = std::move(*file);
      } else if (!failure.empty()) {
        return StartFailed(failure);
      }
    }
    if (!TheSettings().Load(location)) return StartFailed(TheSettings().failure());
    // Page script names the course's own files root-relative ("\\content.db"),
    // as its links do; the record objects find them on this drive.
    if (TheSettings().drive != 0) platform::SetCourseDrive(TheSettings().drive);
  }

  // As the original's server module did, the whole command line is scanned
  // for the registration switches once more, whatever the mode.
  const std::string full_command_line = std::string(argv[0]) + " " + command_line;
  const RegistrationSwitch action = ScanRegistrationSwitch(full_command_line);
  if (action != RegistrationSwitch::kNone) return ExitCodeOf(Registration(action));

  // No window without a start page; the program ends as it does after a
  // run.
  if (TheSettings().run.empty()) return StartFailed("the settings name no start page");
  return run_course(TheSettings());
}

}  // namespace norwin::host
