// SqlConnection over SQLite: one database file in WAL mode, so readers never
// wait for the writer; writers queue on the database's own lock for up to
// the busy time-out. Commits are synchronous: a record or result is on disk
// before the request that sent it is answered.
#include <sqlite3.h>

#include <string>

#include "norwin/server/record_store.h"
#include "sql_connection.h"

namespace norwin::server {

namespace {

class SqliteConnection : public SqlConnection {
 public:
  explicit SqliteConnection(const std::string& path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      db_ = nullptr;
      throw StoreError("cannot open the database " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, 30'000);
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=FULL");
    Exec("PRAGMA foreign_keys=ON");
  }
  ~SqliteConnection() override { sqlite3_close(db_); }

  std::vector<SqlRow> Query(std::string_view sql, const std::vector<SqlValue>& params) override {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
      Fail("prepare");
    }
    struct Finalizer {
      sqlite3_stmt* s;
      ~Finalizer() { sqlite3_finalize(s); }
    } finalizer{statement};
    for (size_t i = 0; i < params.size(); ++i) {
      const int index = static_cast<int>(i + 1);
      const int status =
          params[i] ? sqlite3_bind_text(statement, index, params[i]->data(),
                                        static_cast<int>(params[i]->size()), SQLITE_TRANSIENT)
                    : sqlite3_bind_null(statement, index);
      if (status != SQLITE_OK) Fail("bind");
    }
    std::vector<SqlRow> rows;
    for (;;) {
      const int status = sqlite3_step(statement);
      if (status == SQLITE_DONE) break;
      if (status != SQLITE_ROW) Fail("step");
      SqlRow row;
      const int columns = sqlite3_column_count(statement);
      for (int c = 0; c < columns; ++c) {
        if (sqlite3_column_type(statement, c) == SQLITE_NULL) {
          row.emplace_back();
        } else {
          const void* bytes = sqlite3_column_blob(statement, c);
          const int size = sqlite3_column_bytes(statement, c);
          row.emplace_back(bytes ? std::string(static_cast<const char*>(bytes), size)
                                 : std::string());
        }
      }
      rows.push_back(std::move(row));
    }
    return rows;
  }

  void BeginWrite() override { Exec("BEGIN IMMEDIATE"); }
  void BeginRead() override { Exec("BEGIN"); }
  void LockName(std::string_view) override {}
  void Commit() override { Exec("COMMIT"); }
  void Rollback() override {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  std::string_view SerialKey() const override { return "INTEGER PRIMARY KEY AUTOINCREMENT"; }
  std::string_view BytesType() const override { return "BLOB"; }

 private:
  [[noreturn]] void Fail(const char* step) {
    throw StoreError(std::string("database (") + step + "): " + sqlite3_errmsg(db_));
  }

  sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<SqlConnection> OpenSqlite(const std::string& path) {
  return std::make_unique<SqliteConnection>(path);
}

}  // namespace norwin::server
