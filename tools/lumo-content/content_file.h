// A content database file as lumo-content reads and writes it: one SQLite
// connection, statements that finalize themselves, and failures as Status
// values whose message names the file. Every file it writes is in
// rollback-journal mode, so that a title's database opens from a read-only
// disc (a database in WAL mode needs to write beside itself to be read).
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/datalayer/content_schema.h"
#include "norwin/platform/status.h"

namespace norwin::content_tool {

// `name` as an SQL identifier between double quotes, quotes doubled.
inline std::string QuoteName(std::string_view name) { return datalayer::QuoteContentName(name); }

class Statement {
 public:
  explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
  Statement(Statement&& other) noexcept : statement_(other.statement_) {
    other.statement_ = nullptr;
  }
  Statement& operator=(Statement&&) = delete;
  ~Statement() { sqlite3_finalize(statement_); }

  // Binds text to the 1-based parameter `index`; nullopt binds Null.
  void Bind(int index, std::optional<std::string_view> value);
  void BindInt(int index, int64_t value) { sqlite3_bind_int64(statement_, index, value); }
  void BindReal(int index, double value) { sqlite3_bind_double(statement_, index, value); }
  void BindBlob(int index, const void* data, size_t size);
  // Whether a row is there (true) or the statement is done (false).
  Result<bool> Step();
  void Reset() { sqlite3_reset(statement_); }

  int ColumnCount() const { return sqlite3_column_count(statement_); }
  bool IsNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
  // The column as text ("" for Null); integers in decimal.
  std::string Text(int column) const;
  std::optional<std::string> OptionalText(int column) const;
  int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }

 private:
  sqlite3_stmt* statement_;
};

class ContentFile {
 public:
  enum class Access { kRead, kWrite };
  // Opens the existing database at `path`; fails when there is none or it
  // is no database.
  static Result<std::unique_ptr<ContentFile>> Open(const std::filesystem::path& path,
                                                   Access access);
  // Makes a new database at `path` (which must not exist yet), in
  // rollback-journal mode.
  static Result<std::unique_ptr<ContentFile>> Create(const std::filesystem::path& path);
  ~ContentFile();
  ContentFile(const ContentFile&) = delete;
  ContentFile& operator=(const ContentFile&) = delete;

  Status Exec(std::string_view sql);
  Result<Statement> Prepare(std::string_view sql);
  // A failure naming the file, with the engine's last message.
  Status EngineError(std::string_view doing) const;
  // The tables of the database, in the order they were made.
  Result<std::vector<std::string>> Tables();
  // The columns of `table` (matched without regard to case); empty when
  // there is no such table.
  Result<std::vector<std::string>> Columns(std::string_view table);
  // Closes the connection, reporting what closing found.
  Status Close();

  const std::filesystem::path& path() const { return path_; }

 private:
  ContentFile(std::filesystem::path path, sqlite3* db) : path_(std::move(path)), db_(db) {}

  std::filesystem::path path_;
  sqlite3* db_;
};

}  // namespace norwin::content_tool
