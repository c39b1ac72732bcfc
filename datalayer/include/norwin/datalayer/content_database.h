// The content database of a title: the SQLite file shipped with it that holds
// its objectives, tasks, questions with their answers, page references and
// text books. The pools (Objectives, TaskPool, QuestionPool) and TextBooks
// read it through this class; nothing here writes to it.
//
// Opening. A location is a Windows path resolved through the drives of the
// system layer (a course disc's "d:\title\content.db"); a server location
// ("http:...") names no database. The titles' original desktop database was
// opened with a connect string carrying a fixed password. SQLite has no
// password of its own, and a password compiled into every copy of the
// library never kept anyone out, so none is sent or checked: the file the
// location names is opened as it is, read-only (a title's content is never
// changed by the program that shows it, and a read-only disc must open,
// whatever its journal mode: a database that cannot be opened otherwise, as
// one in WAL mode on read-only media, is read as immutable). A database
// another process is writing is waited for, kContentBusyTimeout at most, in
// waits of the clock source (norwin/platform/clock.h). Tables and columns
// keep their original names; queries are fixed texts, never text pasted
// together.
//
// Text. Columns hold UTF-8; text that is not valid UTF-8 was written in the
// Windows code page and is read as Windows-1252, so that everything read can
// be written into a record again.
//
// Errors. What the database engine refuses (a file that is missing or is no
// database, a missing table or column) raises AutomationError with
// kContentDatabaseError + SQLite's primary result code, the engine's message
// (with the system's reason, such as "Permission denied", when there is
// one) and the file in the description, and the caller's `source`. Reading Null
// where text is required raises runtime error 94 "Invalid use of Null", as
// storing Null into a text field does in the language the records were
// written in. A pool table without rows is an error too (FailEmpty). One thread at a time uses a
// database and its queries.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "norwin/automation/error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace norwin::datalayer {

// The base of the errors the database engine reports: this number plus
// SQLite's primary result code (SQLITE_CANTOPEN 14 gives 0x8004100E).
inline constexpr automation::HResult kContentDatabaseError = automation::ObjectError(0x1000);

// How long a database another process is writing is waited for.
inline constexpr std::chrono::milliseconds kContentBusyTimeout{2000};

// The native file a content-database location names, when one exists there
// as a regular file; nullopt for a server location, a path that does not
// resolve, and anything that is not a file.
std::optional<std::string> ExistingContentFile(std::string_view location);

class ContentDatabase;

// One query over a content database: walk its rows with Next(), read the
// current row's columns by position. Made by ContentDatabase::Query; must
// not outlive its database.
class ContentQuery {
 public:
  ContentQuery(ContentQuery&&) noexcept;
  ContentQuery& operator=(ContentQuery&&) noexcept;
  ~ContentQuery();

  // Binds `value` to the 1-based parameter `index` ("?").
  void Bind(int index, std::string_view value);
  // Moves to the next row: true when there is one, false past the last.
  // Raises kContentDatabaseError when the engine fails.
  bool Next();
  // Starts the query again from its first row, keeping its bindings.
  void Reset();

  int ColumnCount() const;
  std::string_view ColumnName(int column) const;
  // The 0-based position of the column named `name` (without regard to
  // case, as the engine names columns); nullopt when there is none.
  std::optional<int> FindColumn(std::string_view name) const;

  // Whether the current row holds Null in `column`.
  bool IsNull(int column) const;
  // The value of `column` in the current row as text: text as stored (read
  // as Windows-1252 when it is not UTF-8), an integer in decimal, a real
  // number in the language's default form; "" for Null. The view lives until the next call of Text,
  // Next or Reset.
  std::string_view Text(int column) const;
  // The same for a column whose value must not be Null: raises runtime
  // error 94, with the database's source, when it is.
  std::string_view RequiredText(int column) const;

 private:
  friend class ContentDatabase;
  ContentQuery(const ContentDatabase* database, sqlite3_stmt* statement);

  const ContentDatabase* database_;
  sqlite3_stmt* statement_;
  // The text form of the last non-text value read.
  mutable std::string number_text_;
};

class ContentDatabase {
 public:
  // Opens the database at `location` for reading; raises
  // kContentDatabaseError (SQLITE_CANTOPEN for a missing file, SQLITE_NOTADB
  // for a file that is no database) with `source`.
  ContentDatabase(std::string_view location, std::string source);
  ~ContentDatabase();
  ContentDatabase(const ContentDatabase&) = delete;
  ContentDatabase& operator=(const ContentDatabase&) = delete;

  // Prepares `sql`, a fixed query text; raises kContentDatabaseError when
  // the engine refuses it (a missing table or column).
  ContentQuery Query(std::string_view sql) const;

  // Raises kContentDatabaseError with SQLite's primary code for `code` and
  // the description `message`, naming the file.
  [[noreturn]] void Fail(int code, std::string_view message) const;
  // Raises kContentDatabaseError + SQLITE_EMPTY for the table `table`,
  // which a pool needs at least one row of: a title's pool without a single
  // objective, task or question is a broken database, not an empty pool.
  [[noreturn]] void FailEmpty(std::string_view table) const;
  // Raises kContentDatabaseError + SQLITE_ERROR for a column `column` that
  // a query's result does not have, as the engine reports a missing column.
  [[noreturn]] void FailNoColumn(std::string_view column) const;
  // Raises runtime error 94 for a Null read from the column `column`.
  [[noreturn]] void FailNull(std::string_view column) const;

  const std::string& source() const { return source_; }

 private:
  struct Opened {
    int code = 0;  // SQLITE_OK when db_ is open and its header was read
    std::string message;
  };
  // Opens `name` with `flags` into db_ and reads the header; on failure
  // db_ is null again.
  Opened Open(const std::string& name, int flags);
  // SQLite's busy handler: waits while `count` waits stay within
  // kContentBusyTimeout.
  static int WaitWhileBusy(void* data, int count);
  [[noreturn]] void FailFromEngine(int code) const;

  std::string path_;
  std::string source_;
  sqlite3* db_ = nullptr;
  std::chrono::system_clock::time_point busy_since_;
};

}  // namespace norwin::datalayer
