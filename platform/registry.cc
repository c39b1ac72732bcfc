#include "norwin/platform/registry.h"

#include <sqlite3.h>

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "norwin/platform/codepage.h"
#include "registry_names.h"

namespace norwin::platform {

using registry_internal::CheckValueName;
using registry_internal::Fold;
using registry_internal::KeyPath;
using registry_internal::ParseKeyPath;

namespace {

// The range of folded paths strictly below `folded`: after "P\" and before
// "P]" (']' follows '\' in byte order).
struct SubtreeBounds {
  std::string low;
  std::string high;
  explicit SubtreeBounds(std::string_view folded) : low(folded), high(folded) {
    low.push_back('\\');
    high.push_back(']');
  }
};

// Orders folded paths so that a key's sub-keys follow it directly: the
// separator sorts before every other character.
bool TreeOrder(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const int rx = x == '\\' ? -1 : static_cast<unsigned char>(x);
    const int ry = y == '\\' ? -1 : static_cast<unsigned char>(y);
    return rx < ry;
  });
}

// The stored form of a REG_MULTI_SZ: every part followed by a NUL.
std::string JoinMultiString(const std::vector<std::string>& parts) {
  size_t size = 0;
  for (const std::string& part : parts) size += part.size() + 1;
  std::string joined;
  joined.reserve(size);
  for (const std::string& part : parts) {
    joined.append(part);
    joined.push_back('\0');
  }
  return joined;
}

std::vector<std::string> SplitMultiString(std::string_view joined) {
  std::vector<std::string> parts;
  while (!joined.empty()) {
    const size_t nul = joined.find('\0');
    parts.emplace_back(joined.substr(0, nul));
    if (nul == std::string_view::npos) break;
    joined.remove_prefix(nul + 1);
  }
  return parts;
}

std::string_view ColumnBytes(sqlite3_stmt* stmt, int col) {
  const void* data = sqlite3_column_blob(stmt, col);
  const int size = sqlite3_column_bytes(stmt, col);
  if (!data || size <= 0) return {};
  return {static_cast<const char*>(data), static_cast<size_t>(size)};
}

std::string_view ColumnText(sqlite3_stmt* stmt, int col) {
  const unsigned char* text = sqlite3_column_text(stmt, col);
  const int size = sqlite3_column_bytes(stmt, col);
  if (!text || size <= 0) return {};
  return {reinterpret_cast<const char*>(text), static_cast<size_t>(size)};
}

// Reads the value in columns `type_col` and `type_col + 1` of the current row.
Result<RegValue> ReadValue(sqlite3_stmt* stmt, int type_col) {
  const int64_t type = sqlite3_column_int64(stmt, type_col);
  const int data_col = type_col + 1;
  switch (static_cast<RegType>(type)) {
    case RegType::kSz:
    case RegType::kExpandSz:
      return RegValue::String(std::string(ColumnBytes(stmt, data_col)), static_cast<RegType>(type));
    case RegType::kDword:
      return RegValue::Dword(static_cast<uint32_t>(sqlite3_column_int64(stmt, data_col)));
    case RegType::kBinary:
      return RegValue::Binary(std::string(ColumnBytes(stmt, data_col)));
    case RegType::kMultiSz:
      return RegValue::MultiString(SplitMultiString(ColumnBytes(stmt, data_col)));
  }
  return Status::Error("the registry database holds a value of unknown type " +
                       std::to_string(type));
}

}  // namespace

// ---------------------------------------------------------------------------
// Statements

// Every statement the registry runs, prepared on first use and kept.
enum Registry::Stmt : int {
  kBegin,
  kBeginImmediate,
  kCommit,
  kRollback,
  kFindKey,
  kInsertKey,
  kHasSubKeys,
  kSubKeys,
  kDeleteTreeValues,
  kDeleteTreeKeys,
  kUpsertValue,
  kGetValue,
  kDeleteValue,
  kValues,
  kTreeKeys,
  kTreeValues,
  kDataVersion,
};

namespace {

constexpr const char* kStatementText[] = {
    /*kBegin*/ "BEGIN",
    /*kBeginImmediate*/ "BEGIN IMMEDIATE",
    /*kCommit*/ "COMMIT",
    /*kRollback*/ "ROLLBACK",
    /*kFindKey*/ "SELECT id FROM keys WHERE path = ?1",
    /*kInsertKey*/ "INSERT INTO keys(parent, name, path) VALUES(?1, ?2, ?3)",
    /*kHasSubKeys*/ "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    /*kSubKeys*/ "SELECT name FROM keys WHERE parent = ?1 ORDER BY path",
    /*kDeleteTreeValues*/
    "DELETE FROM reg_values WHERE key_id IN "
    "(SELECT id FROM keys WHERE path = ?1 OR (path > ?2 AND path < ?3))",
    /*kDeleteTreeKeys*/ "DELETE FROM keys WHERE path = ?1 OR (path > ?2 AND path < ?3)",
    /*kUpsertValue*/
    "INSERT INTO reg_values(key_id, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key_id, folded) DO UPDATE SET type = excluded.type, data = excluded.data",
    /*kGetValue*/
    "SELECT v.type, v.data FROM keys k JOIN reg_values v ON v.key_id = k.id "
    "WHERE k.path = ?1 AND v.folded = ?2",
    /*kDeleteValue*/ "DELETE FROM reg_values WHERE key_id = ?1 AND folded = ?2",
    /*kValues*/ "SELECT name, type, data FROM reg_values WHERE key_id = ?1 ORDER BY id",
    /*kTreeKeys*/
    "SELECT id, parent, name, path FROM keys WHERE path = ?1 OR (path > ?2 AND path < ?3)",
    /*kTreeValues*/
    "SELECT v.key_id, v.name, v.type, v.data FROM reg_values v JOIN keys k ON k.id = v.key_id "
    "WHERE k.path = ?1 OR (k.path > ?2 AND k.path < ?3) ORDER BY v.id",
    /*kDataVersion*/ "PRAGMA data_version",
};

}  // namespace

// One use of a cached statement: binds, steps, and resets it when done so
// that it holds no read lock and no pointer to the caller's strings.
class Registry::Query {
 public:
  Query(Registry& registry, sqlite3_stmt* stmt) : registry_(registry), stmt_(stmt) {}
  ~Query() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  // The text must outlive the query.
  Query& Bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    return *this;
  }
  Query& BindBlob(int index, std::string_view bytes) {
    sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    return *this;
  }
  Query& Bind(int index, int64_t n) {
    sqlite3_bind_int64(stmt_, index, n);
    return *this;
  }

  // True with a row, false when done.
  Result<bool> Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    return registry_.Error();
  }
  Status Run() {
    Result<bool> row = Step();
    return row.status();
  }

 private:
  Registry& registry_;
  sqlite3_stmt* stmt_;
};

// ---------------------------------------------------------------------------
// Statements and transactions

Result<sqlite3_stmt*> Registry::Prepare(Stmt which) {
  static_assert(std::size(kStatementText) == kStmtCount);
  sqlite3_stmt*& stmt = stmts_[which];
  if (!stmt) {
    const int rc = sqlite3_prepare_v3(db_, kStatementText[which], -1, SQLITE_PREPARE_PERSISTENT,
                                      &stmt, nullptr);
    if (rc != SQLITE_OK) {
      stmt = nullptr;
      return Error();
    }
  }
  return stmt;
}

Status Registry::Exec(Stmt which) {
  Result<sqlite3_stmt*> stmt = Prepare(which);
  if (!stmt.ok()) return stmt.status();
  return Query(*this, *stmt).Run();
}

template <typename Body>
Status Registry::Transaction(TransactionKind kind, Body&& body) {
  if (kind == TransactionKind::kWrite) ++own_writes_;
  if (Status s = Exec(kind == TransactionKind::kWrite ? kBeginImmediate : kBegin); !s.ok()) {
    return s;
  }
  Status result = body();
  if (result.ok()) result = Exec(kCommit);
  if (!result.ok() && !sqlite3_get_autocommit(db_)) {
    // The body's own error is the one to report; a failed rollback leaves
    // SQLite to roll back when the connection closes.
    (void)Exec(kRollback);
  }
  return result;
}

uint64_t Registry::ChangeStamp() {
  // data_version tells the commits of other connections; this one's own
  // writes are counted here. Should the pragma fail, the stamp differs from
  // every earlier one, so nothing cached is trusted.
  uint64_t version = ++failed_stamps_ << 32;
  if (Result<sqlite3_stmt*> stmt = Prepare(kDataVersion); stmt.ok()) {
    Query q(*this, *stmt);
    if (Result<bool> row = q.Step(); row.ok() && *row) {
      version = static_cast<uint64_t>(sqlite3_column_int64(*stmt, 0)) << 32;
      --failed_stamps_;
    }
  }
  return version ^ own_writes_;
}

// ---------------------------------------------------------------------------
// Keys

Result<int64_t> Registry::FindKey(std::string_view folded_path) {
  Result<sqlite3_stmt*> stmt = Prepare(kFindKey);
  if (!stmt.ok()) return stmt.status();
  Query q(*this, *stmt);
  q.Bind(1, folded_path);
  Result<bool> row = q.Step();
  if (!row.ok()) return row.status();
  return *row ? sqlite3_column_int64(*stmt, 0) : int64_t{0};
}

Result<int64_t> Registry::EnsureKey(const KeyPath& path) {
  Result<int64_t> found = FindKey(path.folded);
  if (!found.ok() || *found != 0) return found;

  // Component ends in both forms; folding keeps every separator in place.
  std::vector<std::pair<size_t, size_t>> ends;
  for (size_t d = 0, f = 0;;) {
    d = path.display.find('\\', d + 1);
    f = path.folded.find('\\', f + 1);
    if (d == std::string::npos) break;
    ends.emplace_back(d, f);
  }
  ends.emplace_back(path.display.size(), path.folded.size());

  // Walk up to the nearest key that exists, then create the rest downwards.
  size_t level = ends.size() - 1;
  int64_t parent = 0;
  while (level > 0) {
    Result<int64_t> id = FindKey(std::string_view(path.folded).substr(0, ends[level - 1].second));
    if (!id.ok()) return id;
    if (*id != 0) {
      parent = *id;
      break;
    }
    --level;
  }
  if (parent == 0) {
    return Status::Error("registry database " + file_.string() + " lacks the root key " +
                         path.display.substr(0, ends[0].first));
  }
  Result<sqlite3_stmt*> insert = Prepare(kInsertKey);
  if (!insert.ok()) return insert.status();
  for (; level < ends.size(); ++level) {
    const size_t name_start = ends[level - 1].first + 1;
    Query q(*this, *insert);
    q.Bind(1, parent)
        .Bind(2, std::string_view(path.display).substr(name_start, ends[level].first - name_start))
        .Bind(3, std::string_view(path.folded).substr(0, ends[level].second));
    if (Status s = q.Run(); !s.ok()) return s;
    parent = sqlite3_last_insert_rowid(db_);
  }
  return parent;
}

Status Registry::DeleteTreeLocked(std::string_view folded_path) {
  const SubtreeBounds bounds(folded_path);
  for (Stmt which : {kDeleteTreeValues, kDeleteTreeKeys}) {
    Result<sqlite3_stmt*> stmt = Prepare(which);
    if (!stmt.ok()) return stmt.status();
    Query q(*this, *stmt);
    q.Bind(1, folded_path).Bind(2, bounds.low).Bind(3, bounds.high);
    if (Status s = q.Run(); !s.ok()) return s;
  }
  return Status::Ok();
}

Result<std::string> Registry::NormalizeKey(std::string_view key) {
  Result<KeyPath> path = ParseKeyPath(key);
  if (!path.ok()) return path.status();
  return std::move(path->display);
}

Status Registry::CreateKey(std::string_view key) {
  Result<KeyPath> path = ParseKeyPath(key);
  if (!path.ok()) return path.status();
  return Transaction(TransactionKind::kWrite, [&] { return EnsureKey(*path).status(); });
}

Result<bool> Registry::KeyExists(std::string_view key) {
  Result<KeyPath> path = ParseKeyPath(key);
  if (!path.ok()) return path.status();
  Result<int64_t> id = FindKey(path->folded);
  if (!id.ok()) return id.status();
  return *id != 0;
}

Status Registry::DeleteKey(std::string_view key, Recursive recursive) {
  Result<KeyPath> path = ParseKeyPath(key);
  if (!path.ok()) return path.status();
  if (path->is_root) return Status::Error("the root key " + path->display + " cannot be deleted");
  return Transaction(TransactionKind::kWrite, [&]() -> Status {
    Result<int64_t> id = FindKey(path->folded);
    if (!id.ok()) return id.status();
    if (*id == 0) return Status::Error("the key " + path->display + " does not exist");
    if (recursive == Recursive::kNo) {
      Result<sqlite3_stmt*> stmt = Prepare(kHasSubKeys);
      if (!stmt.ok()) return stmt.status();
      Query q(*this, *stmt);
      q.Bind(1, *id);
      Result<bool> row = q.Step();
      if (!row.ok()) return row.status();
      if (*row) return Status::Error("the key " + path->display + " has sub-keys");
    }
    return DeleteTreeLocked(path->folded);
  });
}

Result<std::vector<std::string>> Registry::SubKeys(std::string_view key) {
  Result<KeyPath> path = ParseKeyPath(key);
  if (!path.ok()) return path.status();
  std::vector<std::string> names;
  Status s = Transaction(TransactionKind::kRead, [&]() -> Status {
    Result<int64_t> id = FindKey(path->folded);
    if (!id.ok()) return id.status();
    if (*id == 0) return Status::Error("the key " + path->display + " does not exist");
    Result<sqlite3_stmt*> stmt = Prepare(kSubKeys);
    if (!stmt.ok()) return stmt.status();
    Query q(*this, *stmt);
    q.Bind(1, *id);
    Result<bool> row = false;
    while ((row = q.Step()).ok() && *row) names.emplace_back(ColumnText(*stmt, 0));
    return row.status();
  });
  if (!s.ok()) return s;
  return names;
}

// ---------------------------------------------------------------------------
// Values

Status Registry::SetValueLocked(int64_t key_id, std::string_view name, const RegValue& value) {
  Result<sqlite3_stmt*> stmt = Prepare(kUpsertValue);
  if (!stmt.ok()) return stmt.status();
  const std::string folded = Fold(name);
  std::string joined;
  Query q(*this, *stmt);
  q.Bind(1, key_id).Bind(2, name).Bind(3, folded).Bind(4, static_cast<int64_t>(value.type));
  switch (value.type) {
    case RegType::kSz:
    case RegType::kExpandSz:
      q.Bind(5, value.text);
      break;
    case RegType::kDword:
      q.Bind(5, static_cast<int64_t>(value.dword));
      break;
    case RegType::kBinary:
      q.BindBlob(5, value.bytes);
      break;
    case RegType::kMultiSz:
      joined = JoinMultiString(value.strings);
      q.BindBlob(5, joined);
      break;
  }
  return q.Run();
}

Status Registry::SetValue(std::string_view key, std::string_view name, const RegValue& value) {
  Result<KeyPath> path = ParseKeyPath(key);
  if (!path.ok()) return path.status();
  if (Status s = ValidateValue(name, value); !s.ok()) return s;
  return Transaction(TransactionKind::kWrite, [&]() -> Status {
    Result<int64_t> id = EnsureKey(*path);
    if (!id.ok()) return id.status();
    return SetValueLocked(*id, name, value);
  });
}

Result<std::optional<RegValue>> Registry::GetValue(std::string_view key, std::string_view name) {
  Result<KeyPath> path = ParseKeyPath(key);
  if (!path.ok()) return path.status();
  if (!IsValidUtf8(name)) return Status::Error("the value name is not valid UTF-8");
  Result<sqlite3_stmt*> stmt = Prepare(kGetValue);
  if (!stmt.ok()) return stmt.status();
  const std::string folded = Fold(name);
  Query q(*this, *stmt);
  q.Bind(1, path->folded).Bind(2, folded);
  Result<bool> row = q.Step();
  if (!row.ok()) return row.status();
  if (!*row) return std::optional<RegValue>();
  Result<RegValue> value = ReadValue(*stmt, 0);
  if (!value.ok()) return value.status();
  return std::optional<RegValue>(std::move(*value));
}

Status Registry::DeleteValue(std::string_view key, std::string_view name) {
  Result<KeyPath> path = ParseKeyPath(key);
  if (!path.ok()) return path.status();
  if (!IsValidUtf8(name)) return Status::Error("the value name is not valid UTF-8");
  const std::string folded = Fold(name);
  return Transaction(TransactionKind::kWrite, [&]() -> Status {
    Result<int64_t> id = FindKey(path->folded);
    if (!id.ok()) return id.status();
    if (*id == 0) return Status::Error("the key " + path->display + " does not exist");
    Result<sqlite3_stmt*> stmt = Prepare(kDeleteValue);
    if (!stmt.ok()) return stmt.status();
    Query q(*this, *stmt);
    q.Bind(1, *id).Bind(2, folded);
    if (Status s = q.Run(); !s.ok()) return s;
    if (sqlite3_changes(db_) == 0) {
      return Status::Error("the key " + path->display + " has no value '" + std::string(name) +
                           "'");
    }
    return Status::Ok();
  });
}

Result<std::vector<RegNamedValue>> Registry::Values(std::string_view key) {
  Result<KeyPath> path = ParseKeyPath(key);
  if (!path.ok()) return path.status();
  std::vector<RegNamedValue> values;
  Status s = Transaction(TransactionKind::kRead, [&]() -> Status {
    Result<int64_t> id = FindKey(path->folded);
    if (!id.ok()) return id.status();
    if (*id == 0) return Status::Error("the key " + path->display + " does not exist");
    Result<sqlite3_stmt*> stmt = Prepare(kValues);
    if (!stmt.ok()) return stmt.status();
    Query q(*this, *stmt);
    q.Bind(1, *id);
    Result<bool> row = false;
    while ((row = q.Step()).ok() && *row) {
      Result<RegValue> value = ReadValue(*stmt, 1);
      if (!value.ok()) return value.status();
      values.push_back({std::string(ColumnText(*stmt, 0)), std::move(*value)});
    }
    return row.status();
  });
  if (!s.ok()) return s;
  return values;
}

Result<std::vector<RegKeyContents>> Registry::ReadTree(std::string_view key) {
  Result<KeyPath> path = ParseKeyPath(key);
  if (!path.ok()) return path.status();
  struct Row {
    int64_t id;
    int64_t parent;
    std::string name;
    std::string folded;
  };
  std::vector<Row> rows;
  std::vector<RegKeyContents> tree;
  Status s = Transaction(TransactionKind::kRead, [&]() -> Status {
    const SubtreeBounds bounds(path->folded);
    Result<sqlite3_stmt*> keys = Prepare(kTreeKeys);
    if (!keys.ok()) return keys.status();
    {
      Query q(*this, *keys);
      q.Bind(1, path->folded).Bind(2, bounds.low).Bind(3, bounds.high);
      Result<bool> row = false;
      while ((row = q.Step()).ok() && *row) {
        rows.push_back({sqlite3_column_int64(*keys, 0), sqlite3_column_int64(*keys, 1),
                        std::string(ColumnText(*keys, 2)), std::string(ColumnText(*keys, 3))});
      }
      if (!row.ok()) return row.status();
    }
    // Parents sort before their sub-keys, so each key's parent already has
    // its full path when the key is reached.
    std::sort(rows.begin(), rows.end(),
              [](const Row& a, const Row& b) { return TreeOrder(a.folded, b.folded); });
    if (rows.empty() || rows.front().folded != path->folded) {
      return Status::Error("the key " + path->display + " does not exist");
    }
    std::unordered_map<int64_t, size_t> index;
    tree.reserve(rows.size());
    for (const Row& r : rows) {
      std::string full;
      if (tree.empty()) {
        full = path->display;
      } else {
        auto parent = index.find(r.parent);
        if (parent == index.end()) return Damaged();
        full = tree[parent->second].path;
        full.push_back('\\');
        full.append(r.name);
      }
      index.emplace(r.id, tree.size());
      tree.push_back({std::move(full), {}});
    }

    Result<sqlite3_stmt*> values = Prepare(kTreeValues);
    if (!values.ok()) return values.status();
    Query q(*this, *values);
    q.Bind(1, path->folded).Bind(2, bounds.low).Bind(3, bounds.high);
    Result<bool> row = false;
    while ((row = q.Step()).ok() && *row) {
      Result<RegValue> value = ReadValue(*values, 2);
      if (!value.ok()) return value.status();
      auto owner = index.find(sqlite3_column_int64(*values, 0));
      if (owner == index.end()) return Damaged();
      tree[owner->second].values.push_back(
          {std::string(ColumnText(*values, 1)), std::move(*value)});
    }
    return row.status();
  });
  if (!s.ok()) return s;
  return tree;
}

// ---------------------------------------------------------------------------
// Batches

Status Registry::Apply(std::span<const RegEdit> edits) {
  std::vector<KeyPath> paths;
  paths.reserve(edits.size());
  for (const RegEdit& edit : edits) {
    Result<KeyPath> path = ParseKeyPath(edit.key);
    if (!path.ok()) return path.status();
    switch (edit.kind) {
      case RegEdit::Kind::kCreateKey:
        break;
      case RegEdit::Kind::kDeleteTree:
        if (path->is_root) {
          return Status::Error("the root key " + path->display + " cannot be deleted");
        }
        break;
      case RegEdit::Kind::kSetValue:
        if (Status s = ValidateValue(edit.name, edit.value); !s.ok()) return s;
        break;
      case RegEdit::Kind::kDeleteValue:
        if (Status s = CheckValueName(edit.name); !s.ok()) return s;
        break;
    }
    paths.push_back(std::move(*path));
  }
  return Transaction(TransactionKind::kWrite, [&]() -> Status {
    for (size_t i = 0; i < edits.size(); ++i) {
      if (Status s = ApplyLocked(edits[i], paths[i]); !s.ok()) return s;
    }
    return Status::Ok();
  });
}

Status Registry::ApplyLocked(const RegEdit& edit, const KeyPath& path) {
  switch (edit.kind) {
    case RegEdit::Kind::kCreateKey:
      return EnsureKey(path).status();
    case RegEdit::Kind::kDeleteTree:
      return DeleteTreeLocked(path.folded);
    case RegEdit::Kind::kSetValue: {
      Result<int64_t> id = EnsureKey(path);
      if (!id.ok()) return id.status();
      return SetValueLocked(*id, edit.name, edit.value);
    }
    case RegEdit::Kind::kDeleteValue: {
      Result<int64_t> id = FindKey(path.folded);
      if (!id.ok() || *id == 0) return id.status();
      Result<sqlite3_stmt*> stmt = Prepare(kDeleteValue);
      if (!stmt.ok()) return stmt.status();
      const std::string folded = Fold(edit.name);
      Query q(*this, *stmt);
      q.Bind(1, *id).Bind(2, folded);
      return q.Run();
    }
  }
  return Status::Ok();
}

}  // namespace norwin::platform
