#include "norwin/host/command_line.h"

#include <strings.h>

namespace norwin::host {
namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

StartMode StartModeOf(std::string_view command_line) {
  if (EqualsIgnoringAsciiCase(command_line, "/RegServer")) return StartMode::kRegister;
  if (EqualsIgnoringAsciiCase(command_line, "/UnRegServer")) return StartMode::kUnregister;
  if (command_line == "--help" || command_line == "-h") return StartMode::kHelp;
  if (command_line == "--version") return StartMode::kVersion;
  if (command_line == "--demo") return StartMode::kDemo;
  if (command_line.empty()) return StartMode::kChooseSettings;
  return StartMode::kRun;
}

std::string JoinArguments(int argc, const char* const* argv) {
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  return joined;
}

std::string_view TrimWhiteSpace(std::string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

RegistrationSwitch ScanRegistrationSwitch(std::string_view full_command_line) {
  for (size_t pos = full_command_line.find_first_of("-/"); pos != std::string_view::npos;
       pos = full_command_line.find_first_of("-/", pos + 1)) {
    const std::string_view token = full_command_line.substr(pos + 1);
    if (EqualsIgnoringAsciiCase(token, "UnregServer")) return RegistrationSwitch::kUnregServer;
    if (EqualsIgnoringAsciiCase(token, "RegServer")) return RegistrationSwitch::kRegServer;
  }
  return RegistrationSwitch::kNone;
}

std::string_view UsageText() {
  return "Usage: lumo [SETTINGS]\n"
         "       lumo --demo\n"
         "       lumo /RegServer | /UnRegServer\n"
         "\n"
         "Opens the course that SETTINGS describes: a settings file (.cfg; without a\n"
         "drive letter it is looked for on the drives c: to z:) or an http:// address\n"
         "that answers with the settings. Without SETTINGS a file chooser asks for one.\n"
         "\n"
         "  --demo        opens the demo course that comes with lumo\n"
         "  /RegServer    writes the program's registry entries and ends\n"
         "  /UnRegServer  removes them and ends\n"
         "  -h, --help    shows this text\n"
         "  --version     shows the version\n"
         "\n"
         "SETTINGS may also be the native path of a .cfg file (\"course/lumo.cfg\"):\n"
         "its folder is then the course drive.\n"
         "\n"
         "Machine state (registry, profile, drive links) lies in $NORWIN_PREFIX,\n"
         "by default ~/.local/share/norwin.\n";
}

}  // namespace norwin::host
