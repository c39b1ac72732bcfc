#include "norwin/datalayer/content_database.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "norwin/automation/convert.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/platform/case_fold.h"
#include "norwin/platform/drives.h"

namespace norwin::datalayer {

namespace {

using automation::AutomationError;

std::string Describe(std::string_view message, const std::string& path) {
  std::string text = "Content database '";
  text.append(path);
  text.append("': ");
  text.append(message);
  return text;
}

}  // namespace

std::optional<std::string> ExistingContentFile(std::string_view location) {
  if (location.empty() || IsURL(location)) return std::nullopt;
  Result<std::filesystem::path> path = platform::ResolveWindowsPath(location);
  if (!path.ok()) return std::nullopt;
  std::error_code error;
  if (!std::filesystem::is_regular_file(*path, error)) return std::nullopt;
  return path->string();
}

ContentDatabase::ContentDatabase(std::string_view location, std::string source)
    : source_(std::move(source)) {
  Result<std::filesystem::path> resolved = platform::ResolveWindowsPath(location);
  if (IsURL(location) || !resolved.ok()) {
    path_ = std::string(location);
    Fail(SQLITE_CANTOPEN, "unable to open database file");
  }
  path_ = resolved->string();
  // Read-only: a missing file is an error, never a new empty database.
  const int opened = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
  if (opened != SQLITE_OK) {
    const int code = opened;
    std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    sqlite3_close(db_);
    db_ = nullptr;
    Fail(code, message);
  }
  sqlite3_extended_result_codes(db_, 0);
  // A file that is no database opens; the engine finds out on first read.
  // Read its header now, so that the error names the file rather than the
  // first table asked for.
  const int checked =
      sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  if (checked != SQLITE_OK) {
    std::string message = sqlite3_errmsg(db_);
    sqlite3_close(db_);
    db_ = nullptr;
    Fail(checked, message);
  }
}

ContentDatabase::~ContentDatabase() { sqlite3_close(db_); }

ContentQuery ContentDatabase::Query(std::string_view sql) const {
  sqlite3_stmt* statement = nullptr;
  const int prepared =
      sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
  if (prepared != SQLITE_OK) FailFromEngine(prepared);
  return ContentQuery(this, statement);
}

void ContentDatabase::Fail(int code, std::string_view message) const {
  throw AutomationError(kContentDatabaseError + (code & 0xFF), Describe(message, path_), source_);
}

void ContentDatabase::FailEmpty(std::string_view table) const {
  std::string message = "the table '";
  message.append(table);
  message.append("' holds no rows");
  Fail(SQLITE_EMPTY, message);
}

void ContentDatabase::FailNoColumn(std::string_view column) const {
  std::string message = "no such column: ";
  message.append(column);
  Fail(SQLITE_ERROR, message);
}

void ContentDatabase::FailNull(std::string_view column) const {
  AutomationError error = automation::RuntimeError(automation::kInvalidUseOfNull, source_);
  error.description.append(" (column '");
  error.description.append(column);
  error.description.append("')");
  throw error;
}

void ContentDatabase::FailFromEngine(int code) const { Fail(code, sqlite3_errmsg(db_)); }

ContentQuery::ContentQuery(const ContentDatabase* database, sqlite3_stmt* statement)
    : database_(database), statement_(statement) {}

ContentQuery::ContentQuery(ContentQuery&& other) noexcept
    : database_(other.database_),
      statement_(std::exchange(other.statement_, nullptr)),
      number_text_(std::move(other.number_text_)) {}

ContentQuery& ContentQuery::operator=(ContentQuery&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(statement_);
    database_ = other.database_;
    statement_ = std::exchange(other.statement_, nullptr);
    number_text_ = std::move(other.number_text_);
  }
  return *this;
}

ContentQuery::~ContentQuery() { sqlite3_finalize(statement_); }

void ContentQuery::Bind(int index, std::string_view value) {
  const int bound = sqlite3_bind_text(statement_, index, value.data(),
                                      static_cast<int>(value.size()), SQLITE_TRANSIENT);
  if (bound != SQLITE_OK) database_->Fail(bound, sqlite3_errstr(bound));
}

bool ContentQuery::Next() {
  const int stepped = sqlite3_step(statement_);
  if (stepped == SQLITE_ROW) return true;
  if (stepped == SQLITE_DONE) return false;
  database_->Fail(stepped, sqlite3_errmsg(sqlite3_db_handle(statement_)));
}

void ContentQuery::Reset() { sqlite3_reset(statement_); }

int ContentQuery::ColumnCount() const { return sqlite3_column_count(statement_); }

std::string_view ContentQuery::ColumnName(int column) const {
  const char* name = sqlite3_column_name(statement_, column);
  return name ? std::string_view(name) : std::string_view();
}

std::optional<int> ContentQuery::FindColumn(std::string_view name) const {
  const int count = ColumnCount();
  for (int i = 0; i < count; ++i) {
    if (platform::EqualsIgnoringCase(ColumnName(i), name)) return i;
  }
  return std::nullopt;
}

bool ContentQuery::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::string_view ContentQuery::Text(int column) const {
  switch (sqlite3_column_type(statement_, column)) {
    case SQLITE_NULL:
      return {};
    case SQLITE_INTEGER:
      number_text_ = std::to_string(sqlite3_column_int64(statement_, column));
      return number_text_;
    case SQLITE_FLOAT:
      number_text_ = automation::FormatNumber(sqlite3_column_double(statement_, column));
      return number_text_;
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
      const int size = sqlite3_column_bytes(statement_, column);
      return text ? std::string_view(text, static_cast<size_t>(size)) : std::string_view();
    }
  }
}

std::string_view ContentQuery::RequiredText(int column) const {
  if (IsNull(column)) database_->FailNull(ColumnName(column));
  return Text(column);
}

}  // namespace norwin::datalayer
