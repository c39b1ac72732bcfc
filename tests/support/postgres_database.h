// Test helper: a database of its own on a PostgreSQL server, made when the
// object is made and dropped when it goes, so that tests sharing one server
// never see each other's records. `server_conninfo` names the server (any
// database on it; "postgresql://user@/postgres?host=/tmp/x"). The tests of
// the record server run on PostgreSQL when NORWIN_TEST_RECORD_DATABASE names
// one (tests/support/with_postgresql.sh starts one). Header-only.
#pragma once

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace norwin::testing {

class PostgresDatabase {
 public:
  explicit PostgresDatabase(std::string server_conninfo) : server_(std::move(server_conninfo)) {
    static std::atomic<int> counter{0};
    name_ = "norwin_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    Run("DROP DATABASE IF EXISTS " + name_);
    Run("CREATE DATABASE " + name_);
    // The same server, this database: a second dbname overrides the first.
    conninfo_ = server_ + (server_.find('?') == std::string::npos ? "?" : "&") + "dbname=" + name_;
  }
  ~PostgresDatabase() { Run("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)"); }
  PostgresDatabase(const PostgresDatabase&) = delete;
  PostgresDatabase& operator=(const PostgresDatabase&) = delete;

  const std::string& conninfo() const { return conninfo_; }

  // A database on the server NORWIN_TEST_RECORD_DATABASE names; null when
  // it names none (the tests then use SQLite).
  static std::unique_ptr<PostgresDatabase> FromEnvironment() {
    const char* server = std::getenv("NORWIN_TEST_RECORD_DATABASE");
    if (server == nullptr || *server == '\0') return nullptr;
    return std::make_unique<PostgresDatabase>(server);
  }

 private:
  void Run(const std::string& sql) {
    PGconn* db = PQconnectdb(server_.c_str());
    if (PQstatus(db) != CONNECTION_OK) {
      std::fprintf(stderr, "postgres: %s", PQerrorMessage(db));
      PQfinish(db);
      std::abort();
    }
    PGresult* result = PQexec(db, sql.c_str());
    if (PQresultStatus(result) != PGRES_COMMAND_OK) {
      std::fprintf(stderr, "postgres: %s: %s", sql.c_str(), PQresultErrorMessage(result));
      PQclear(result);
      PQfinish(db);
      std::abort();
    }
    PQclear(result);
    PQfinish(db);
  }

  std::string server_;
  std::string name_;
  std::string conninfo_;
};

}  // namespace norwin::testing
