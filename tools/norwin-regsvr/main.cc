// norwin-regsvr [/u] [/s] LIBRARY: registers (or with /u unregisters) the
// classes of an in-process server library by calling its DllRegisterServer
// (DllUnregisterServer). See regsvr.cc.
#include <cstdio>
#include <string>
#include <vector>

#include "norwin/version.h"
#include "regsvr.h"

int main(int argc, char** argv) {
  using namespace norwin::regsvr;
  if (norwin::AsksForVersion(argc, argv)) {
    norwin::PrintVersion("norwin-regsvr");
    return 0;
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const std::optional<Request> request = ParseArguments(args, &error);
  if (!request) {
    std::fprintf(stderr, "norwin-regsvr: %s\nType \"norwin-regsvr /?\" for usage.\n",
                 error.c_str());
    return 1;
  }
  if (request->help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  return Run(*request, stdout, stderr);
}
