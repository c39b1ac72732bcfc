#include "commands.h"

#include <filesystem>
#include <memory>
#include <string>

#include "norwin/platform/files.h"
#include "norwin/platform/reg_file.h"
#include "norwin/platform/registry.h"
#include "value_text.h"

namespace norwin::reg {

namespace {

using platform::RegEdit;
using platform::Registry;
using platform::RegKeyContents;
using platform::RegNamedValue;

// A registry file larger than this is refused rather than read into memory:
// an export of a whole machine's registry stays far below it.
constexpr size_t kMaxRegFileBytes = size_t{256} << 20;

constexpr std::string_view kSuccess = "The operation completed successfully.\n";
constexpr std::string_view kCancelled = "The operation was cancelled by the user.\n";
constexpr std::string_view kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";

// A status message as a sentence: capital first letter, full stop.
std::string Sentence(std::string_view message) {
  std::string s(message);
  if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 32);
  if (!s.empty() && s.back() != '.') s.push_back('.');
  return s;
}

std::string DisplayName(std::string_view name) {
  return name.empty() ? "(Default)" : std::string(name);
}

std::string ValueLine(const RegNamedValue& v) {
  std::string line = "    ";
  line.append(DisplayName(v.name)).append("    ");
  line.append(platform::RegTypeName(v.value.type)).append("    ");
  line.append(FormatValueData(v.value)).append("\n");
  return line;
}

class Command {
 public:
  Command(const Request& request, const Console& console) : request_(request), console_(console) {}

  int Run() {
    switch (request_.operation) {
      case Operation::kAdd:
        return Add();
      case Operation::kQuery:
        return Query();
      case Operation::kDelete:
        return Delete();
      case Operation::kExport:
        return Export();
      case Operation::kImport:
        return Import();
      case Operation::kNone:
        break;
    }
    return InvalidSyntax("No operation is given.");
  }

 private:
  int Usage(std::string_view headline, std::string_view detail) const {
    std::string text = "ERROR: ";
    text.append(headline).append("\n").append(Sentence(detail)).append("\n");
    text.append("Type \"norwin-reg ").append(OperationName(request_.operation));
    text.append(" /?\" for usage.\n");
    console_.Err(text);
    return 1;
  }
  int InvalidSyntax(std::string_view detail) const { return Usage("Invalid syntax.", detail); }
  int InvalidKey(std::string_view detail) const { return Usage("Invalid key name.", detail); }
  int Failure(std::string_view message) const {
    console_.Err("ERROR: " + Sentence(message) + "\n");
    return 1;
  }
  int NotFound() const {
    console_.Err(kNotFound);
    return 1;
  }
  int Done() const {
    console_.Out(kSuccess);
    return 0;
  }
  int Cancelled() const {
    console_.Out(kCancelled);
    return 0;
  }

  // Sets key_ to the canonical key path; false after reporting a bad one.
  bool TakeKey() {
    Result<std::string> key = Registry::NormalizeKey(request_.key);
    if (!key.ok()) {
      InvalidKey(key.message());
      return false;
    }
    key_ = std::move(*key);
    return true;
  }

  // Opens the registry; false after reporting why it cannot be.
  bool OpenRegistry() {
    Result<std::unique_ptr<Registry>> registry = Registry::OpenDefault();
    if (!registry.ok()) {
      Failure(registry.message());
      return false;
    }
    registry_ = std::move(*registry);
    return true;
  }

  // 0 when the key exists, else the exit status after reporting.
  int RequireKey() {
    Result<bool> exists = registry_->KeyExists(key_);
    if (!exists.ok()) return Failure(exists.message());
    return *exists ? 0 : NotFound();
  }

  int Add() {
    if (!TakeKey()) return 1;
    if (!request_.value_name) {
      if (!OpenRegistry()) return 1;
      if (Status s = registry_->CreateKey(key_); !s.ok()) return Failure(s.message());
      return Done();
    }
    const std::string& name = *request_.value_name;
    Result<platform::RegValue> value = ParseValueData(request_.type, request_.data.value_or(""),
                                                      request_.separator.value_or("\\0"));
    if (!value.ok()) return InvalidSyntax(value.message());
    if (Status s = Registry::ValidateValue(name, *value); !s.ok())
      return InvalidSyntax(s.message());
    if (!OpenRegistry()) return 1;
    if (!request_.force) {
      Result<std::optional<platform::RegValue>> old = registry_->GetValue(key_, name);
      if (!old.ok()) return Failure(old.message());
      if (old->has_value() &&
          !console_.Confirm("Value " + DisplayName(name) + " exists, overwrite(Yes/No)? ")) {
        return Cancelled();
      }
    }
    if (Status s = registry_->SetValue(key_, name, *value); !s.ok()) return Failure(s.message());
    return Done();
  }

  int Query() {
    if (!TakeKey()) return 1;
    if (!OpenRegistry()) return 1;
    if (int status = RequireKey()) return status;
    if (request_.recursive) return QueryTree();

    Result<std::vector<RegNamedValue>> values = registry_->Values(key_);
    if (!values.ok()) return Failure(values.message());
    std::string out = "\n" + key_ + "\n";
    if (request_.value_name) {
      const RegNamedValue* found = nullptr;
      for (const RegNamedValue& v : *values) {
        if (Registry::SameName(v.name, *request_.value_name)) found = &v;
      }
      if (!found) return NotFound();
      console_.Out(out + ValueLine(*found));
      return 0;
    }
    for (const RegNamedValue& v : *values) out.append(ValueLine(v));
    Result<std::vector<std::string>> sub_keys = registry_->SubKeys(key_);
    if (!sub_keys.ok()) return Failure(sub_keys.message());
    if (!sub_keys->empty()) out.append("\n");
    for (const std::string& sub_key : *sub_keys) out.append(key_ + "\\" + sub_key + "\n");
    console_.Out(out);
    return 0;
  }

  int QueryTree() {
    Result<std::vector<RegKeyContents>> tree = registry_->ReadTree(key_);
    if (!tree.ok()) return Failure(tree.message());
    std::string out;
    size_t matches = 0;
    for (const RegKeyContents& key : *tree) {
      if (!request_.value_name) {
        out.append("\n").append(key.path).append("\n");
        for (const RegNamedValue& v : key.values) out.append(ValueLine(v));
        continue;
      }
      for (const RegNamedValue& v : key.values) {
        if (!Registry::SameName(v.name, *request_.value_name)) continue;
        out.append("\n").append(key.path).append("\n").append(ValueLine(v));
        ++matches;
      }
    }
    if (request_.value_name) {
      if (matches == 0) return NotFound();
      out.append("\nEnd of search: " + std::to_string(matches) + " match(es) found.\n");
    }
    console_.Out(out);
    return 0;
  }

  int Delete() {
    if (!TakeKey()) return 1;
    const bool whole_key = !request_.value_name && !request_.all_values;
    if (whole_key && key_.find('\\') == std::string::npos) {
      return InvalidKey("The root key " + key_ + " cannot be deleted.");
    }
    if (!OpenRegistry()) return 1;
    if (int status = RequireKey()) return status;

    if (request_.value_name) {
      const std::string& name = *request_.value_name;
      Result<std::optional<platform::RegValue>> old = registry_->GetValue(key_, name);
      if (!old.ok()) return Failure(old.message());
      if (!old->has_value()) return NotFound();
      if (!request_.force &&
          !console_.Confirm("Delete the registry value " + DisplayName(name) + " (Yes/No)? ")) {
        return Cancelled();
      }
      if (Status s = registry_->DeleteValue(key_, name); !s.ok()) return Failure(s.message());
      return Done();
    }
    if (request_.all_values) {
      if (!request_.force && !console_.Confirm("Delete all values under the registry key " +
                                               request_.key + " (Yes/No)? ")) {
        return Cancelled();
      }
      Result<std::vector<RegNamedValue>> values = registry_->Values(key_);
      if (!values.ok()) return Failure(values.message());
      std::vector<RegEdit> edits;
      for (const RegNamedValue& v : *values) edits.push_back(RegEdit::DeleteValue(key_, v.name));
      if (Status s = registry_->Apply(edits); !s.ok()) return Failure(s.message());
      return Done();
    }
    if (!request_.force &&
        !console_.Confirm("Permanently delete the registry key " + request_.key + " (Yes/No)? ")) {
      return Cancelled();
    }
    if (Status s = registry_->DeleteKey(key_, platform::Recursive::kYes); !s.ok()) {
      return Failure(s.message());
    }
    return Done();
  }

  int Export() {
    if (!TakeKey()) return 1;
    if (!OpenRegistry()) return 1;
    if (int status = RequireKey()) return status;
    Result<std::vector<RegKeyContents>> tree = registry_->ReadTree(key_);
    if (!tree.ok()) return Failure(tree.message());
    std::error_code ignored;
    if (!request_.force && std::filesystem::exists(request_.file, ignored) &&
        !console_.Confirm("File " + request_.file + " already exists. Overwrite(Yes/No)? ")) {
      return Cancelled();
    }
    if (Status s = platform::WriteFileAtomically(request_.file, platform::WriteRegFile(*tree));
        !s.ok()) {
      return Failure(s.message());
    }
    return Done();
  }

  int Import() {
    Result<std::string> bytes = platform::ReadFileCapped(request_.file, kMaxRegFileBytes);
    if (!bytes.ok()) return Failure(bytes.message());
    Result<std::vector<RegEdit>> edits = platform::ParseRegFile(*bytes);
    if (!edits.ok()) {
      console_.Err("ERROR: The file " + request_.file + " is not a valid registry file.\n" +
                   Sentence(edits.message()) + "\nNothing was imported.\n");
      return 1;
    }
    if (!OpenRegistry()) return 1;
    if (Status s = registry_->Apply(*edits); !s.ok()) {
      return Failure(s.message() + ". Nothing was imported");
    }
    return Done();
  }

  const Request& request_;
  const Console& console_;
  std::string key_;
  std::unique_ptr<Registry> registry_;
};

}  // namespace

int RunRequest(const Request& request, const Console& console) {
  return Command(request, console).Run();
}

}  // namespace norwin::reg
