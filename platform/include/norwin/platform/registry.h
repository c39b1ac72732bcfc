// The registry: a tree of keys below five roots, each key holding typed,
// named values, as programs of this system expect of the Windows registry.
//
// Kept in the SQLite database `registry.db` in the prefix folder, so that any
// number of processes may read and write it at once; every write is one
// transaction. Key and value names are compared without regard to case and
// keep the case they were created with. A key path is written with
// backslashes below a root: "HKEY_LOCAL_MACHINE\Software\Lumo" (the short
// forms HKLM, HKCU, HKCR, HKU and HKPD are accepted too). The value name ""
// is the key's default value.
//
// A Registry object belongs to one thread at a time; open one per thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/platform/status.h"

struct sqlite3;

namespace norwin::platform {

enum class RegType : uint32_t {
  kSz = 1,
  kExpandSz = 2,
  kBinary = 3,
  kDword = 4,
  kMultiSz = 7,
};

// "REG_SZ" and so on; nullopt for a name that is not one of the five.
std::optional<RegType> RegTypeFromName(std::string_view name);
const char* RegTypeName(RegType type);

// One typed value. Strings are UTF-8; `strings` holds the parts of a
// REG_MULTI_SZ, `bytes` the data of a REG_BINARY.
struct RegValue {
  RegType type = RegType::kSz;
  std::string text;                  // kSz, kExpandSz
  uint32_t dword = 0;                // kDword
  std::vector<std::string> strings;  // kMultiSz
  std::string bytes;                 // kBinary

  static RegValue String(std::string s, RegType type = RegType::kSz);
  static RegValue Dword(uint32_t n);
  static RegValue MultiString(std::vector<std::string> parts);
  static RegValue Binary(std::string data);
  bool operator==(const RegValue&) const = default;
};

struct RegNamedValue {
  std::string name;  // as created; "" for the default value
  RegValue value;
};

enum class Recursive { kNo, kYes };

class Registry {
 public:
  // Opens (creating when missing) the registry database at `db_file`.
  // Fails with a readable message when the file cannot be opened or is not a
  // registry database.
  static Result<std::unique_ptr<Registry>> Open(const std::filesystem::path& db_file);
  // The machine's registry: registry.db in the prefix folder.
  static Result<std::unique_ptr<Registry>> OpenDefault();

  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // The canonical form of a key path ("HKLM\a\\b\" -> "HKEY_LOCAL_MACHINE\a\b");
  // fails for an unknown root or an empty component.
  static Result<std::string> NormalizeKey(std::string_view key);

  // Creates the key and any missing parents. Creating an existing key succeeds.
  Status CreateKey(std::string_view key);
  Result<bool> KeyExists(std::string_view key);
  // Removes the key and its values. With Recursive::kNo a key that has sub-keys
  // is not removed (an error says so). Removing a missing key is an error.
  Status DeleteKey(std::string_view key, Recursive recursive);

  // Sets a value, creating the key (and parents) when missing.
  Status SetValue(std::string_view key, std::string_view name, const RegValue& value);
  // nullopt when the key or the value does not exist.
  Result<std::optional<RegValue>> GetValue(std::string_view key, std::string_view name);
  // Removing a value that does not exist is an error.
  Status DeleteValue(std::string_view key, std::string_view name);

  // Direct sub-key names (as created), sorted without regard to case.
  Result<std::vector<std::string>> SubKeys(std::string_view key);
  // The key's values in the order they were first set.
  Result<std::vector<RegNamedValue>> Values(std::string_view key);

 private:
  explicit Registry(sqlite3* db);
  sqlite3* db_;
};

}  // namespace norwin::platform
