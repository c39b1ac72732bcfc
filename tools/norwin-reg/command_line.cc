#include "command_line.h"

#include <array>
#include <string_view>

#include "norwin/platform/codepage.h"

namespace norwin::reg {

namespace {

using platform::RegType;

struct OptionSpec {
  std::string_view name;      // lower case, without the leading '/'
  std::string_view argument;  // what follows it, for messages; empty for a switch
};

struct OperationSpec {
  Operation operation;
  std::string_view name;
  std::vector<OptionSpec> options;
  bool key_first;  // the first positional argument is a key
  int positionals;
};

const std::array<OperationSpec, 5>& Operations() {
  static const std::array<OperationSpec, 5> kOperations = {{
      {Operation::kAdd,
       "add",
       {{"v", "a value name"},
        {"ve", ""},
        {"t", "a value type"},
        {"d", "the data"},
        {"s", "a separator"},
        {"f", ""}},
       true,
       1},
      {Operation::kQuery, "query", {{"v", "a value name"}, {"ve", ""}, {"s", ""}}, true, 1},
      {Operation::kDelete,
       "delete",
       {{"v", "a value name"}, {"ve", ""}, {"va", ""}, {"f", ""}},
       true,
       1},
      {Operation::kExport, "export", {{"y", ""}}, true, 2},
      {Operation::kImport, "import", {}, false, 1},
  }};
  return kOperations;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

bool IsHelp(std::string_view arg) { return arg == "/?" || arg == "-?" || arg == "--help"; }

bool LooksLikeOption(std::string_view arg) {
  return arg.size() > 1 && (arg[0] == '/' || arg[0] == '-');
}

// Counts the characters of valid UTF-8 text.
size_t CharacterCount(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace

const char* OperationName(Operation operation) {
  for (const OperationSpec& grammar : Operations()) {
    if (grammar.operation == operation) return grammar.name.data();
  }
  return "";
}

std::variant<Request, SyntaxError> ParseCommandLine(const std::vector<std::string>& args) {
  Request request;
  if (args.empty()) return SyntaxError{Operation::kNone, "No operation is given."};
  if (IsHelp(args[0])) {
    request.help = true;
    return request;
  }
  const OperationSpec* grammar = nullptr;
  const std::string operation_name = Lower(args[0]);
  for (const OperationSpec& candidate : Operations()) {
    if (candidate.name == operation_name) grammar = &candidate;
  }
  if (!grammar) {
    return SyntaxError{Operation::kNone, "Unknown operation '" + args[0] +
                                             "' (add, query, delete, export or import)."};
  }
  request.operation = grammar->operation;
  auto fail = [&](std::string detail) { return SyntaxError{grammar->operation, std::move(detail)}; };

  std::vector<std::string> seen;
  std::optional<std::string> type_name;
  int positionals = 0;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IsHelp(arg)) {
      request.help = true;
      return request;
    }
    const OptionSpec* option = nullptr;
    if (LooksLikeOption(arg)) {
      const std::string name = Lower(std::string_view(arg).substr(1));
      for (const OptionSpec& candidate : grammar->options) {
        if (candidate.name == name) option = &candidate;
      }
      // A path such as /tmp/x.reg is a file name, not an option.
      const bool key_slot = positionals == 0 && grammar->key_first;
      if (!option && (key_slot || positionals == grammar->positionals)) {
        return fail("Unknown option '" + arg + "'.");
      }
    }
    if (!option) {
      if (positionals == grammar->positionals) return fail("Unexpected argument '" + arg + "'.");
      if (positionals == 0 && grammar->key_first) {
        request.key = arg;
      } else {
        request.file = arg;
      }
      ++positionals;
      continue;
    }

    const std::string name(option->name);
    for (const std::string& s : seen) {
      if (s == name) return fail("The option /" + name + " is given more than once.");
    }
    seen.push_back(name);
    std::string value;
    if (!option->argument.empty()) {
      if (i + 1 == args.size()) {
        return fail("The option /" + name + " needs " + std::string(option->argument) + ".");
      }
      value = args[++i];
    }
    if (name == "v") {
      request.value_name = value;
    } else if (name == "ve") {
      request.value_name = "";
    } else if (name == "va") {
      request.all_values = true;
    } else if (name == "t") {
      type_name = value;
    } else if (name == "d") {
      request.data = value;
    } else if (name == "s") {
      if (grammar->operation == Operation::kAdd) {
        request.separator = value;
      } else {
        request.recursive = true;
      }
    } else if (name == "f" || name == "y") {
      request.force = true;
    }
  }

  if (positionals < grammar->positionals) {
    if (positionals == 0 && grammar->key_first) return fail("The key name is missing.");
    return fail("The file name is missing.");
  }
  int value_choices = 0;
  for (const std::string& s : seen) value_choices += s == "v" || s == "ve" || s == "va";
  if (value_choices > 1) {
    return fail(grammar->operation == Operation::kDelete ? "/v, /ve and /va exclude each other."
                                                      : "/v and /ve exclude each other.");
  }
  if (grammar->operation == Operation::kAdd) {
    if ((type_name || request.data || request.separator) && !request.value_name) {
      return fail("/t, /d and /s need /v NAME or /ve.");
    }
    if (type_name) {
      std::optional<RegType> type = platform::RegTypeFromName(*type_name);
      if (!type) {
        return fail("Unknown value type '" + *type_name +
                    "' (REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD or REG_MULTI_SZ).");
      }
      request.type = *type;
    }
    if (request.separator) {
      if (request.type != RegType::kMultiSz) return fail("/s applies to REG_MULTI_SZ data only.");
      if (!platform::IsValidUtf8(*request.separator) || CharacterCount(*request.separator) != 1) {
        return fail("The separator given with /s must be one character.");
      }
    }
  }
  return request;
}

}  // namespace norwin::reg
