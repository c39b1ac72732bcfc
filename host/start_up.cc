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
    if (mode == StartMode::kDemo) {
      Result<std::string> demo = PrepareDemoCourse(DemoCourseFolder());
      if (!demo.ok()) {
        std::fprintf(stderr, "lumo: %s\n", demo.message().c_str());
        return 1;
      }
      location = std::move(*demo);
    } else if (mode == StartMode::kChooseSettings) {
      std::optional<std::string> chosen = ChooseFile(kIdsSettingsFilter);
      if (!chosen) return 0;
      location = std::move(*chosen);
    } else {
      location = TrimWhiteSpace(command_line);
    }
    if (!TheSettings().Load(location)) return 0;
  }

  // As the original's server module did, the whole command line is scanned
  // for the registration switches once more, whatever the mode.
  const std::string full_command_line = std::string(argv[0]) + " " + command_line;
  const RegistrationSwitch action = ScanRegistrationSwitch(full_command_line);
  if (action != RegistrationSwitch::kNone) return ExitCodeOf(Registration(action));

  // No window without a start page; the program ends as it does after a
  // run.
  if (TheSettings().run.empty()) return 0;
  run_course(TheSettings());
  return 0;
}

}  // namespace norwin::host
