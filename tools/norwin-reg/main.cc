// norwin-reg: reads and changes the registry from the command line, with the
// syntax and output of the Windows `reg` command (see usage.cc).
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "norwin/version.h"
#include "usage.h"

int main(int argc, char** argv) {
  using namespace norwin::reg;
  if (norwin::AsksForVersion(argc, argv)) {
    norwin::PrintVersion("norwin-reg");
    return 0;
  }
  const Console console(stdin, stdout, stderr);
  const std::vector<std::string> args(argv + 1, argv + argc);
  auto parsed = ParseCommandLine(args);
  if (auto* error = std::get_if<SyntaxError>(&parsed)) {
    std::string text = "ERROR: Invalid syntax.\n" + error->detail + "\nType \"norwin-reg";
    if (error->operation != Operation::kNone)
      text.append(" ").append(OperationName(error->operation));
    text.append(" /?\" for usage.\n");
    console.Err(text);
    return 1;
  }
  const Request& request = std::get<Request>(parsed);
  if (request.help) {
    console.Out(Usage(request.operation));
    return 0;
  }
  return RunRequest(request, console);
}
