// The little of a SQL database that the record store needs, so that one
// store (sql_record_store.cc) runs on SQLite and PostgreSQL alike.
//
// Statements use the parameters $1, $2, ... in order of first appearance
// (both databases read them so); values are bound as text or bytes, never
// pasted into the statement. A failure raises StoreError naming the
// statement's database and its message. A connection serves one thread at
// a time.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norwin::server {

using SqlValue = std::optional<std::string>;  // nullopt is SQL NULL
using SqlRow = std::vector<SqlValue>;

class SqlConnection {
 public:
  virtual ~SqlConnection() = default;
  // Runs `sql` with `params` and returns its rows (every column as text or
  // bytes, NULL as nullopt).
  virtual std::vector<SqlRow> Query(std::string_view sql, const std::vector<SqlValue>& params) = 0;
  void Exec(std::string_view sql, const std::vector<SqlValue>& params = {}) {
    (void)Query(sql, params);
  }
  // Opens a transaction that will write: no other writer runs until it
  // ends (SQLite's BEGIN IMMEDIATE; PostgreSQL takes row locks as it goes).
  virtual void BeginWrite() = 0;
  virtual void BeginRead() = 0;
  // Holds writers of the same `name` off until the transaction ends (a
  // no-op where BeginWrite already excludes every other writer).
  virtual void LockName(std::string_view name) = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // The text that makes a column an auto-numbered key
  // ("INTEGER PRIMARY KEY AUTOINCREMENT", "BIGSERIAL PRIMARY KEY") and the
  // type of a column of bytes.
  virtual std::string_view SerialKey() const = 0;
  virtual std::string_view BytesType() const = 0;
};

// Opens (creating when missing) the SQLite database file `path` in WAL mode.
std::unique_ptr<SqlConnection> OpenSqlite(const std::string& path);
// Connects to the PostgreSQL database of `conninfo`.
std::unique_ptr<SqlConnection> OpenPostgres(const std::string& conninfo);

}  // namespace norwin::server
