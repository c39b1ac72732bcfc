// SqlConnection over PostgreSQL (libpq), for a district that keeps many
// schools' records on one managed database. Documents are kept as text (a
// saved record is well-formed XML, which the server checks first); writers
// of the same record queue on a transaction-scoped advisory lock.
#include <libpq-fe.h>

#include <string>

#include "norwin/server/record_store.h"
#include "sql_connection.h"

namespace norwin::server {

namespace {

class PostgresConnection : public SqlConnection {
 public:
  explicit PostgresConnection(const std::string& conninfo) : db_(PQconnectdb(conninfo.c_str())) {
    if (PQstatus(db_) != CONNECTION_OK) {
      const std::string message = PQerrorMessage(db_);
      PQfinish(db_);
      throw StoreError("cannot connect to the database: " + FirstLine(message));
    }
    Exec("SET client_min_messages = warning");
  }
  ~PostgresConnection() override { PQfinish(db_); }

  std::vector<SqlRow> Query(std::string_view sql, const std::vector<SqlValue>& params) override {
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (const SqlValue& value : params) {
      values.push_back(value ? value->c_str() : nullptr);
      lengths.push_back(value ? static_cast<int>(value->size()) : 0);
      formats.push_back(0);
    }
    const std::string text(sql);
    PGresult* result = PQexecParams(db_, text.c_str(), static_cast<int>(params.size()), nullptr,
                                    values.data(), lengths.data(), formats.data(), 0);
    struct Clear {
      PGresult* r;
      ~Clear() { PQclear(r); }
    } clear{result};
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      throw StoreError("database: " + FirstLine(PQresultErrorMessage(result)));
    }
    std::vector<SqlRow> rows;
    const int count = PQntuples(result), columns = PQnfields(result);
    for (int r = 0; r < count; ++r) {
      SqlRow row;
      for (int c = 0; c < columns; ++c) {
        if (PQgetisnull(result, r, c)) {
          row.emplace_back();
        } else {
          row.emplace_back(std::string(PQgetvalue(result, r, c), PQgetlength(result, r, c)));
        }
      }
      rows.push_back(std::move(row));
    }
    return rows;
  }

  void BeginWrite() override { Exec("BEGIN"); }
  void BeginRead() override { Exec("BEGIN"); }
  void LockName(std::string_view name) override {
    Exec("SELECT pg_advisory_xact_lock(hashtextextended($1, 0))", {std::string(name)});
  }
  void Commit() override { Exec("COMMIT"); }
  void Rollback() override {
    PGresult* result = PQexec(db_, "ROLLBACK");
    PQclear(result);
  }
  std::string_view SerialKey() const override { return "BIGSERIAL PRIMARY KEY"; }
  std::string_view BytesType() const override { return "TEXT"; }

 private:
  static std::string FirstLine(std::string text) {
    if (const size_t end = text.find('\n'); end != std::string::npos) text.resize(end);
    return text;
  }

  PGconn* db_;
};

}  // namespace

std::unique_ptr<SqlConnection> OpenPostgres(const std::string& conninfo) {
  return std::make_unique<PostgresConnection>(conninfo);
}

}  // namespace norwin::server
