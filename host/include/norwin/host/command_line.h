// Lumo's command line: the text after the program's name, as Windows hands
// it to the program (here the arguments joined by blanks), decides between
// registering, unregistering and running a course.
//
//   "/RegServer"    (the whole text, any case)  write the registry entries
//   "/UnRegServer"  (the whole text, any case)  remove them
//   ""                                          run; the user picks a settings file
//   anything else                               run; the text, trimmed, is the
//                                               settings location
//
// "--help" or "-h" and "--version" (exactly) print the usage or the
// version instead, and "--demo" opens the demo course that comes with the
// program (demo_course.h); they are this program's own additions and never
// a settings location.
#pragma once

#include <string>
#include <string_view>

namespace norwin::host {

enum class StartMode { kRegister, kUnregister, kChooseSettings, kRun, kHelp, kVersion, kDemo };

StartMode StartModeOf(std::string_view command_line);

// The arguments after the program's name joined by single blanks.
std::string JoinArguments(int argc, const char* const* argv);

// `text` without leading and trailing white space (blanks, tabs, line ends).
std::string_view TrimWhiteSpace(std::string_view text);

enum class RegistrationSwitch { kNone, kRegServer, kUnregServer };

// Scans the full command line (program name included) as the original
// program's server module did: every "-" or "/" starts a token that runs to
// the end of the line; the first token equal to "UnregServer" or
// "RegServer" (any case) decides. So "lumo /regserver" registers and
// "lumo /RegServer x" does not.
RegistrationSwitch ScanRegistrationSwitch(std::string_view full_command_line);

// What `lumo --help` prints.
std::string_view UsageText();

}  // namespace norwin::host
