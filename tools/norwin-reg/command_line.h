// The command line of norwin-reg, taken apart: which operation, on which key
// or file, with which options. Only the form is checked here (known options,
// their arguments, which go together); key names and data are checked by the
// commands.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "norwin/platform/registry.h"

namespace norwin::reg {

enum class Operation { kNone, kAdd, kQuery, kDelete, kExport, kImport };

struct Request {
  Operation operation = Operation::kNone;
  bool help = false;  // "/?" or --help: show the usage of `operation`
  std::string key;    // as typed
  std::string file;   // export, import
  // /v NAME, or "" with /ve; absent when neither is given.
  std::optional<std::string> value_name;
  bool all_values = false;  // delete /va
  platform::RegType type = platform::RegType::kSz;
  std::optional<std::string> data;       // add /d
  std::optional<std::string> separator;  // add /s
  bool recursive = false;                // query /s
  bool force = false;                    // add /f, delete /f, export /y
};

// A malformed command line: the operation it was meant for (kNone when even
// that is unclear) and what is wrong, for "ERROR: Invalid syntax.".
struct SyntaxError {
  Operation operation = Operation::kNone;
  std::string detail;
};

// `args` without the program name.
std::variant<Request, SyntaxError> ParseCommandLine(const std::vector<std::string>& args);

// "add", "query", ...; "" for kNone.
const char* OperationName(Operation operation);

}  // namespace norwin::reg
