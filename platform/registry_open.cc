// Opening a registry database: creating it when new, checking that it is one
// of ours in a format this program reads, and setting up the write-ahead log.
#include "norwin/platform/registry.h"

#include <errno.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/statvfs.h>

#include <chrono>
#include <thread>

#include "norwin/platform/files.h"
#include "norwin/platform/prefix.h"
#include "registry_names.h"

namespace norwin::platform {

using registry_internal::kRootNames;

namespace {

// "NREG" in the database header tells a registry database from any other.
constexpr int32_t kApplicationId = 0x4E524547;
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 10'000;

// Keys are found by their whole folded path in one index lookup; `parent`
// links them for listings and `name` keeps the case they were created with.
// Values are ordered by `id`, which grows as values are first set.
constexpr const char* kSchema = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER,
  name TEXT NOT NULL,
  path TEXT NOT NULL UNIQUE
);
CREATE INDEX keys_by_parent ON keys(parent);
CREATE TABLE reg_values(
  id INTEGER PRIMARY KEY,
  key_id INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data NOT NULL,
  UNIQUE(key_id, folded)
);
)sql";

// Runs one statement that returns no rows, outside the cache (set-up only).
int RunOnce(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// Reads one integer result of a statement outside the cache (set-up only).
int ReadInt(sqlite3* db, const char* sql, int64_t& out) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      out = sqlite3_column_int64(stmt, 0);
      rc = SQLITE_OK;
    }
  }
  sqlite3_finalize(stmt);
  return rc;
}

// What went wrong last on the database `file`, in words. A full disk shows
// in SQLite as "database or disk is full" only when a data page cannot be
// written; a write-ahead log or shared memory that cannot grow is a "disk I/O
// error", and SQLite's record of the system's error may be stale. So the
// disk and the process's file-size limit are looked at themselves.
std::string EngineMessage(sqlite3* db, const std::filesystem::path& file) {
  const int code = sqlite3_errcode(db) & 0xFF;
  if (code != SQLITE_FULL && code != SQLITE_IOERR && code != SQLITE_CANTOPEN)
    return sqlite3_errmsg(db);
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  struct statvfs disk;
  if (statvfs(folder.c_str(), &disk) == 0 && disk.f_bavail == 0) return "the disk is full";
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) {
      const uintmax_t size = std::filesystem::file_size(file.string() + suffix, ec);
      // Within a page of the limit: the next write did not fit.
      if (!ec && size + 65536 > limit.rlim_cur)
        return "the file-size limit of this process is reached";
    }
  }
  const int system = code == SQLITE_FULL ? 0 : sqlite3_system_errno(db);
  if (code == SQLITE_FULL || system == ENOSPC) return "the disk is full";
  if (system == EDQUOT) return "the disk quota is used up";
  return sqlite3_errmsg(db);
}

}  // namespace

Registry::Registry(sqlite3* db, std::filesystem::path file) : db_(db), file_(std::move(file)) {}

Registry::~Registry() {
  for (sqlite3_stmt* stmt : stmts_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

Status Registry::Error() const {
  return Status::Error("registry database " + file_.string() + ": " + EngineMessage(db_, file_));
}

Result<std::unique_ptr<Registry>> Registry::OpenDefault() {
  return Open(EnsurePrefixDir() / "registry.db");
}

Result<std::unique_ptr<Registry>> Registry::Open(const std::filesystem::path& db_file) {
  // A write past the file-size limit then fails with a message (EFBIG)
  // instead of the signal ending the process.
  IgnoreFileSizeLimitSignal();
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(db_file.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (!db)
    return Status::Error("cannot open registry database " + db_file.string() + ": out of memory");
  std::unique_ptr<Registry> registry(new Registry(db, db_file));
  if (rc != SQLITE_OK) {
    return Status::Error("cannot open registry database " + db_file.string() + ": " +
                         EngineMessage(db, db_file));
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  if (Status s = registry->CheckSchema(); !s.ok()) return s;
  return registry;
}

Status Registry::Damaged() const {
  return Status::Error("registry database " + file_.string() +
                       ": the key tree is damaged (a key without its parent)");
}

Status Registry::SetUpError(int rc) const {
  if ((rc & 0xFF) == SQLITE_NOTADB) {
    return Status::Error(file_.string() + " is not a registry database (" + sqlite3_errmsg(db_) +
                         ")");
  }
  return Status::Error("cannot open registry database " + file_.string() + ": " +
                       EngineMessage(db_, file_));
}

Status Registry::CheckSchema() {
  int64_t app_id = 0, version = 0, objects = 0;
  // The three reads form one snapshot: read one by one, they could straddle
  // another process's creation of the database and see its tables without
  // its application id, taking a new registry for a foreign file.
  int rc = RunOnce(db_, "BEGIN");
  if (rc == SQLITE_OK) rc = ReadInt(db_, "PRAGMA application_id", app_id);
  if (rc == SQLITE_OK) rc = ReadInt(db_, "PRAGMA user_version", version);
  if (rc == SQLITE_OK) rc = ReadInt(db_, "SELECT count(*) FROM sqlite_master", objects);
  if (rc != SQLITE_OK) {
    // The error's text first: ending the transaction replaces SQLite's message.
    Status error = SetUpError(rc);
    if (!sqlite3_get_autocommit(db_)) RunOnce(db_, "ROLLBACK");
    return error;
  }
  rc = RunOnce(db_, "COMMIT");
  if (rc != SQLITE_OK) return SetUpError(rc);
  if (app_id != kApplicationId && (app_id != 0 || objects != 0)) {
    return Status::Error(file_.string() + " is not a registry database");
  }
  if (app_id == kApplicationId && version > kSchemaVersion) {
    return Status::Error(file_.string() +
                         " was written by a newer version of the registry (format " +
                         std::to_string(version) + "; this program reads format " +
                         std::to_string(kSchemaVersion) + ")");
  }
  if (app_id == kApplicationId && version < 1) {
    return Status::Error(file_.string() + " is not a registry database (no format version)");
  }

  // Write-ahead logging lets readers go on while one process writes. Switching
  // needs a moment alone with the file, which the busy handler does not always
  // wait for, so a busy answer is retried until the busy time-out.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  while ((rc = RunOnce(db_, "PRAGMA journal_mode=WAL")) == SQLITE_BUSY ||
         (rc & 0xFF) == SQLITE_BUSY) {
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (rc != SQLITE_OK) return SetUpError(rc);
  if (app_id == kApplicationId) return Status::Ok();

  // A new file. Another process may be creating it at the same moment: the
  // check is repeated inside the write transaction, so only one creates it.
  rc = RunOnce(db_, "BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) return SetUpError(rc);
  rc = ReadInt(db_, "PRAGMA application_id", app_id);
  if (rc == SQLITE_OK && app_id != kApplicationId) {
    rc = RunOnce(db_, kSchema);
    for (size_t i = 0; rc == SQLITE_OK && i < std::size(kRootNames); ++i) {
      sqlite3_stmt* stmt = nullptr;
      rc = sqlite3_prepare_v2(db_, "INSERT INTO keys(parent, name, path) VALUES(NULL, ?1, ?1)", -1,
                              &stmt, nullptr);
      if (rc == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, kRootNames[i].data(), static_cast<int>(kRootNames[i].size()),
                          SQLITE_STATIC);
        rc = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db_);
      }
      sqlite3_finalize(stmt);
    }
    if (rc == SQLITE_OK) {
      const std::string pragmas = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                                  "; PRAGMA user_version = " + std::to_string(kSchemaVersion);
      rc = RunOnce(db_, pragmas.c_str());
    }
  }
  if (rc == SQLITE_OK) rc = RunOnce(db_, "COMMIT");
  if (rc != SQLITE_OK) {
    Status error = SetUpError(rc);
    RunOnce(db_, "ROLLBACK");
    return error;
  }
  return Status::Ok();
}

}  // namespace norwin::platform
