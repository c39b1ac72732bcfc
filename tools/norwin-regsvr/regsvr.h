// The work of norwin-regsvr: reading its command line and calling the
// registration entry point of one library. Split from main() so that its
// messages and exit codes are the program's whole behaviour.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace norwin::regsvr {

enum class Action { kRegister, kUnregister };
enum class Output { kNormal, kSilent };

struct Request {
  Action action = Action::kRegister;
  Output output = Output::kNormal;
  bool help = false;
  std::string library;
};

// The request the arguments make ("/u", "/s" in any case, also with "-";
// "/?", "-h" and "--help"; one library). nullopt with `*error` set for
// anything else.
std::optional<Request> ParseArguments(const std::vector<std::string>& args, std::string* error);

// The usage text.
std::string Usage();

// Loads the library and calls DllRegisterServer or DllUnregisterServer,
// writing the outcome to `out` (success) or `err` (failure) unless silent.
// Returns the exit status: 0 on success, 1 on any failure.
int Run(const Request& request, FILE* out, FILE* err);

}  // namespace norwin::regsvr
