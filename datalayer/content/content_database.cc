#include "norwin/datalayer/content_database.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "norwin/automation/convert.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/platform/case_fold.h"
#include "norwin/platform/clock.h"
#include "norwin/platform/codepage.h"
#include "norwin/platform/drives.h"

namespace norwin::datalayer {

namespace {

using automation::AutomationError;

// How often a database another process is writing is asked again.
constexpr std::chrono::milliseconds kBusyPollInterval{25};

// `path` as the path of a "file:" URI: the characters that would end it or
// begin an escape are percent-encoded.
std::string UriPath(std::string_view path) {
  std::string uri;
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      uri.append(escaped);
    } else {
      uri.push_back(c);
    }
  }
  return uri;
}

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
  Result<std::filesystem::path> path = platform::ResolveCoursePath(location);
  if (!path.ok()) return std::nullopt;
  std::error_code error;
  if (!std::filesystem::is_regular_file(*path, error)) return std::nullopt;
  return path->string();
}

ContentDatabase::ContentDatabase(std::string_view location, std::string source)
    : source_(std::move(source)) {
  Result<std::filesystem::path> resolved = platform::ResolveCoursePath(location);
  if (IsURL(location) || !resolved.ok()) {
    path_ = std::string(location);
    Fail(SQLITE_CANTOPEN, "unable to open database file");
  }
  path_ = resolved->string();
  // A pipe, a device or a folder fails at once; the engine would block on a pipe.
  if (std::error_code error; std::filesystem::exists(*resolved, error) &&
                             !std::filesystem::is_regular_file(*resolved, error))
    Fail(SQLITE_CANTOPEN, "not a regular file");
  const Opened opened = Open(path_, SQLITE_OPEN_READONLY);
  if (opened.code == SQLITE_OK) return;
  // A database in WAL mode needs its companion files, which a read-only
  // disc or folder cannot hold. Such media change under nobody, so the file
  // is read as it stands, without them. Not a database another process is
  // writing (busy): read that way, it could be seen half written.
  if (opened.code == SQLITE_CANTOPEN || opened.code == SQLITE_READONLY ||
      opened.code == SQLITE_IOERR) {
    const Opened immutable =
        Open("file:" + UriPath(path_) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    if (immutable.code == SQLITE_OK) return;
    // Read on its own, the file tells what is wrong with it (no database
    // at all, no permission to read it).
    Fail(immutable.code, immutable.message);
  }
  Fail(opened.code, opened.message);
}

ContentDatabase::Opened ContentDatabase::Open(const std::string& name, int flags) {
  // Read-only: a missing file is an error, never a new empty database.
  // A connection serves one load on one thread and goes with it: the
  // engine's locking of every call (several a value read) would only cost.
  int code = sqlite3_open_v2(name.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code == SQLITE_OK) {
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_handler(db_, &ContentDatabase::WaitWhileBusy, this);
    // A file that is no database opens; the engine finds out on first read.
    // Read its header now, so that the error names the file rather than the
    // first table asked for.
    code = sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) return Opened{};
  }
  Opened failed{code, db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code)};
  // The engine's text says what failed; the system's says why.
  if (const int cause = db_ ? sqlite3_system_errno(db_) : 0; cause != 0) {
    failed.message.append(" (").append(std::strerror(cause)).append(")");
  }
  sqlite3_close(db_);
  db_ = nullptr;
  return failed;
}

int ContentDatabase::WaitWhileBusy(void* data, int count) {
  auto* database = static_cast<ContentDatabase*>(data);
  platform::SystemSource& source = platform::Source();
  if (count == 0) database->busy_since_ = source.Now();
  if (source.Now() - database->busy_since_ >= kContentBusyTimeout) return 0;
  source.Sleep(kBusyPollInterval, platform::WaitEvents::kBlock);
  return 1;
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
      const std::string_view stored =
          text ? std::string_view(text, static_cast<size_t>(size)) : std::string_view();
      if (platform::IsValidUtf8(stored)) return stored;
      // Text written by the titles' Windows tools is in their code page;
      // read as it was meant, a pool loaded from it can always be saved.
      number_text_ = platform::Cp1252ToUtf8(stored);
      return number_text_;
    }
  }
}

std::string_view ContentQuery::RequiredText(int column) const {
  if (IsNull(column)) database_->FailNull(ColumnName(column));
  return Text(column);
}

}  // namespace norwin::datalayer
