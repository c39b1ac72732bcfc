// The registry: a tree of keys below five roots, each key holding typed,
// named values, as programs of this system expect of the Windows registry.
//
// Kept in the SQLite database `registry.db` in the prefix folder, so that any
// number of processes may read and write it at once (write-ahead log, a busy
// wait of up to ten seconds); every write is one transaction, so a change is
// either whole or absent. Key and value names are compared without regard to
// case (beyond ASCII too: "ÄRGER" names the same key as "ärger") and keep the
// case they were created with. A key path is written with backslashes below a
// root: "HKEY_LOCAL_MACHINE\Software\Lumo" (the short forms HKLM, HKCU, HKCR,
// HKU and HKPD are accepted too). The value name "" is the key's default value.
//
// Names and string data are UTF-8. Key names hold no control characters and
// at most 255 characters; value names hold no control characters; string data
// holds no NUL character (the Windows functions end a string there), and a
// REG_MULTI_SZ part is never empty (an empty part ends the list there).
//
// A Registry object belongs to one thread at a time; open one per thread, and
// open a new one in a child process rather than using the parent's.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/platform/status.h"

struct sqlite3;
struct sqlite3_stmt;

namespace norwin::platform {

namespace registry_internal {
struct KeyPath;
}  // namespace registry_internal

enum class RegType : uint32_t {
  kSz = 1,
  kExpandSz = 2,
  kBinary = 3,
  kDword = 4,
  kMultiSz = 7,
};

// "REG_SZ" and so on, compared without regard to case; nullopt for a name
// that is not one of the five.
std::optional<RegType> RegTypeFromName(std::string_view name);
// "REG_SZ" and so on; "REG_UNKNOWN" for a number that is not one of the five.
const char* RegTypeName(RegType type);

// One typed value. Strings are UTF-8; `strings` holds the parts of a
// REG_MULTI_SZ, `bytes` the data of a REG_BINARY. Only the member that belongs
// to `type` is stored; build values with the factory functions.
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
  bool operator==(const RegNamedValue&) const = default;
};

// A key and its values, as ReadTree returns them.
struct RegKeyContents {
  std::string path;  // full key path (see ReadTree)
  std::vector<RegNamedValue> values;
  bool operator==(const RegKeyContents&) const = default;
};

// One change of a batch applied with Registry::Apply.
struct RegEdit {
  enum class Kind {
    kCreateKey,    // creates `key` and its parents
    kDeleteTree,   // removes `key` with everything below it; nothing when missing
    kSetValue,     // sets `name` in `key` (creating the key)
    kDeleteValue,  // removes `name` from `key`; nothing when missing
  };
  Kind kind = Kind::kCreateKey;
  std::string key;
  std::string name;
  RegValue value;

  static RegEdit CreateKey(std::string key);
  static RegEdit DeleteTree(std::string key);
  static RegEdit SetValue(std::string key, std::string name, RegValue value);
  static RegEdit DeleteValue(std::string key, std::string name);
};

enum class Recursive { kNo, kYes };

class Registry {
 public:
  // Opens (creating when missing) the registry database at `db_file`; its
  // folder must exist. Fails with a readable message when the file cannot be
  // opened, is not a registry database ("/x/registry.db is not a registry
  // database (file is not a database)") or was written by a newer version.
  static Result<std::unique_ptr<Registry>> Open(const std::filesystem::path& db_file);
  // The machine's registry: registry.db in the prefix folder, which is created
  // when missing.
  static Result<std::unique_ptr<Registry>> OpenDefault();

  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // The canonical form of a key path: the root's long name, then the
  // components as written ("hklm\Software\" -> "HKEY_LOCAL_MACHINE\Software").
  // One trailing backslash is dropped. Fails, saying why, for an unknown root,
  // an empty component ("a\\b", a leading backslash) or a bad name.
  static Result<std::string> NormalizeKey(std::string_view key);
  // Whether `name` and `value` may be stored (see the rules above); the
  // message says what is wrong. SetValue and Apply check the same.
  static Status ValidateValue(std::string_view name, const RegValue& value);
  // Whether two key or value names are the same name to the registry.
  static bool SameName(std::string_view a, std::string_view b);

  // Creates the key and any missing parents. Creating an existing key succeeds.
  Status CreateKey(std::string_view key);
  Result<bool> KeyExists(std::string_view key);
  // Removes the key and its values. With Recursive::kNo a key that has sub-keys
  // is not removed (an error says so). Removing a missing key or a root is an
  // error.
  Status DeleteKey(std::string_view key, Recursive recursive);

  // Sets a value, creating the key (and parents) when missing. Overwriting a
  // value keeps its name's case and its place in the order of Values().
  Status SetValue(std::string_view key, std::string_view name, const RegValue& value);
  // nullopt when the key or the value does not exist.
  Result<std::optional<RegValue>> GetValue(std::string_view key, std::string_view name);
  // Removing a value that does not exist, or of a key that does not exist, is
  // an error.
  Status DeleteValue(std::string_view key, std::string_view name);

  // Direct sub-key names (as created), sorted without regard to case. Fails
  // when the key does not exist.
  Result<std::vector<std::string>> SubKeys(std::string_view key);
  // The key's values in the order they were first set. Fails when the key
  // does not exist.
  Result<std::vector<RegNamedValue>> Values(std::string_view key);

  // The key and every key below it with their values, read as one snapshot:
  // parents before their sub-keys, siblings sorted without regard to case.
  // Paths begin with NormalizeKey(key) and continue with the names as
  // created. Fails when the key does not exist.
  Result<std::vector<RegKeyContents>> ReadTree(std::string_view key);

  // Applies the edits in order as one transaction: all of them or, when one
  // fails (a bad name, a root to delete, a database error), none. Every edit
  // is checked before the database is touched.
  Status Apply(std::span<const RegEdit> edits);

  // A number that changes whenever the registry may have changed since it
  // was last asked: a write through this object, or a commit of any other
  // connection, in this process or another. For caches of what was read;
  // costs no more than a look at the database's shared memory.
  uint64_t ChangeStamp();

 private:
  enum Stmt : int;
  enum class TransactionKind { kRead, kWrite };
  static constexpr int kStmtCount = 17;
  class Query;

  Registry(sqlite3* db, std::filesystem::path file);
  Status Error() const;
  Status SetUpError(int rc) const;
  Status Damaged() const;
  Status CheckSchema();
  Result<sqlite3_stmt*> Prepare(Stmt which);
  Status Exec(Stmt which);
  template <typename Body>
  Status Transaction(TransactionKind kind, Body&& body);
  Result<int64_t> FindKey(std::string_view folded_path);
  Result<int64_t> EnsureKey(const registry_internal::KeyPath& path);
  Status SetValueLocked(int64_t key_id, std::string_view name, const RegValue& value);
  Status DeleteTreeLocked(std::string_view folded_path);
  Status ApplyLocked(const RegEdit& edit, const registry_internal::KeyPath& path);

  sqlite3* db_;
  std::filesystem::path file_;
  std::array<sqlite3_stmt*, kStmtCount> stmts_{};
  uint64_t own_writes_ = 0;
  uint64_t failed_stamps_ = 0;
};

}  // namespace norwin::platform
