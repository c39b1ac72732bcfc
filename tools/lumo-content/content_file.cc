#include "content_file.h"

#include <system_error>

namespace norwin::content_tool {

void Statement::Bind(int index, std::optional<std::string_view> value) {
  if (value) {
    sqlite3_bind_text(statement_, index, value->data(), static_cast<int>(value->size()),
                      SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_null(statement_, index);
  }
}

void Statement::BindBlob(int index, const void* data, size_t size) {
  sqlite3_bind_blob64(statement_, index, data, size, SQLITE_TRANSIENT);
}

Result<bool> Statement::Step() {
  const int stepped = sqlite3_step(statement_);
  if (stepped == SQLITE_ROW) return true;
  if (stepped == SQLITE_DONE) return false;
  return Status::Error(sqlite3_errmsg(sqlite3_db_handle(statement_)));
}

std::string Statement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  if (!text) return {};
  return std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

std::optional<std::string> Statement::OptionalText(int column) const {
  if (IsNull(column)) return std::nullopt;
  return Text(column);
}

namespace {

Result<sqlite3*> OpenHandle(const std::filesystem::path& path, int flags) {
  sqlite3* db = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (opened != SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(opened);
    sqlite3_close(db);
    return Status::Error(path.string() + ": " + message);
  }
  sqlite3_extended_result_codes(db, 0);
  sqlite3_busy_timeout(db, 5000);
  return db;
}

}  // namespace

Result<std::unique_ptr<ContentFile>> ContentFile::Open(const std::filesystem::path& path,
                                                       Access access) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    return Status::Error(path.string() + ": no such database file");
  }
  const int flags = access == Access::kRead ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  Result<sqlite3*> db = OpenHandle(path, flags);
  if (!db.ok()) return db.status();
  std::unique_ptr<ContentFile> file(new ContentFile(path, *db));
  // A file that is no database opens; reading its header finds out.
  if (Status read = file->Exec("SELECT count(*) FROM sqlite_master"); !read.ok()) return read;
  if (access == Access::kWrite) {
    if (Status mode = file->Exec("PRAGMA journal_mode=DELETE"); !mode.ok()) return mode;
  }
  return file;
}

Result<std::unique_ptr<ContentFile>> ContentFile::Create(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
    return Status::Error(path.string() + ": the file exists already");
  }
  Result<sqlite3*> db = OpenHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (!db.ok()) return db.status();
  std::unique_ptr<ContentFile> file(new ContentFile(path, *db));
  if (Status mode = file->Exec("PRAGMA journal_mode=DELETE"); !mode.ok()) return mode;
  return file;
}

ContentFile::~ContentFile() { sqlite3_close(db_); }

Status ContentFile::Exec(std::string_view sql) {
  char* message = nullptr;
  const int done = sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &message);
  if (done == SQLITE_OK) return Status::Ok();
  std::string text = path_.string() + ": " + (message ? message : sqlite3_errstr(done));
  sqlite3_free(message);
  return Status::Error(std::move(text));
}

Result<Statement> ContentFile::Prepare(std::string_view sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) !=
      SQLITE_OK) {
    return EngineError("");
  }
  return Statement(statement);
}

Status ContentFile::EngineError(std::string_view doing) const {
  std::string text = path_.string() + ": ";
  if (!doing.empty()) text.append(doing).append(": ");
  text.append(sqlite3_errmsg(db_));
  return Status::Error(std::move(text));
}

Result<std::vector<std::string>> ContentFile::Tables() {
  Result<Statement> rows = Prepare(
      "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
      "ESCAPE '\\' ORDER BY rowid");
  if (!rows.ok()) return rows.status();
  std::vector<std::string> tables;
  for (;;) {
    Result<bool> row = rows->Step();
    if (!row.ok()) return EngineError("reading its tables");
    if (!*row) break;
    tables.push_back(rows->Text(0));
  }
  return tables;
}

Result<std::vector<std::string>> ContentFile::Columns(std::string_view table) {
  Result<Statement> rows = Prepare("SELECT name FROM pragma_table_info(?)");
  if (!rows.ok()) return rows.status();
  rows->Bind(1, table);
  std::vector<std::string> columns;
  for (;;) {
    Result<bool> row = rows->Step();
    if (!row.ok()) return EngineError("reading the columns of " + std::string(table));
    if (!*row) break;
    columns.push_back(rows->Text(0));
  }
  return columns;
}

Status ContentFile::Close() {
  const int closed = sqlite3_close(db_);
  if (closed != SQLITE_OK) return EngineError("closing");
  db_ = nullptr;
  return Status::Ok();
}

}  // namespace norwin::content_tool
