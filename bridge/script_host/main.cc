// lumo-script: runs page-style JavaScript against automation objects, as a
// Windows script host runs scripts. See norwin/bridge/script_host.h.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "norwin/bridge/script_host.h"
#include "norwin/version.h"

namespace {

constexpr char kUsage[] =
    "Usage: lumo-script [--prefix DIR] FILE.js [ARGS...]\n"
    "\n"
    "Runs FILE.js with ActiveXObject, Enumerator and WScript (Echo, Quit,\n"
    "Arguments, Sleep, ScriptName, ScriptFullName, StdOut, StdErr).\n"
    "ARGS are the script's WScript.Arguments.\n"
    "\n"
    "  --prefix DIR   keep machine state (registry, profile, drives) in DIR\n"
    "                 (sets NORWIN_PREFIX)\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: the code given to WScript.Quit; otherwise 0, 1 after an\n"
    "uncaught error (printed as FILE(LINE, COL) error: DESCRIPTION), 2 for a\n"
    "usage error or a file that cannot be read.\n";

constexpr int kUsageError = 2;

int UsageError(const char* format, const char* what) {
  std::fprintf(stderr, "lumo-script: ");
  std::fprintf(stderr, format, what);
  std::fprintf(stderr, "\nTry 'lumo-script --help'.\n");
  return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
  if (norwin::AsksForVersion(argc, argv)) {
    norwin::PrintVersion("lumo-script");
    return 0;
  }
  norwin::bridge::ScriptOptions options;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--prefix" || arg.starts_with("--prefix=")) {
      std::string dir;
      if (arg == "--prefix") {
        if (++i == argc) return UsageError("%s needs a folder", "--prefix");
        dir = argv[i];
      } else {
        dir = std::string(arg.substr(std::strlen("--prefix=")));
      }
      if (dir.empty()) return UsageError("%s needs a folder", "--prefix");
      std::error_code ignored;
      setenv("NORWIN_PREFIX", std::filesystem::absolute(dir, ignored).c_str(), 1);
      continue;
    }
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.starts_with("-") && arg != "-") return UsageError("unknown option '%s'", argv[i]);
    break;
  }
  if (i == argc) return UsageError("%s", "no script file given");
  options.script = argv[i++];
  for (; i < argc; ++i) options.arguments.emplace_back(argv[i]);
  return norwin::bridge::RunScript(options);
}

// The script engine keeps what it sets up once per process, and the
// bookkeeping of array buffers still alive when its context goes, in blocks
// of its own allocator: a report from inside it is never a leak of this
// program. Used only in sanitizer builds.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libjavascriptcoregtk-4.1.so\n";
}

#ifdef NORWIN_UBSAN_SUPPRESSIONS
// Sanitizer builds: see the suppressions file for why.
extern "C" const char* __ubsan_default_options() {
  return "suppressions=" NORWIN_UBSAN_SUPPRESSIONS;
}
#endif
