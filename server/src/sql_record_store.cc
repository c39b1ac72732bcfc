// RecordStore over any SqlConnection: the tables, the transactions and the
// version keeping, written once for SQLite and PostgreSQL.
//
// records   the current document of each location;
// versions  the last kKeptVersions documents of each location (a NULL body
//           marks a deletion), numbered per location from 1;
// tokens    access tokens and the namespace each stands for;
// results   the result forms of the grade inbox.
#include <sys/random.h>

#include <condition_variable>
#include <ctime>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

#include "norwin/server/record_store.h"
#include "sql_connection.h"

namespace norwin::server {

namespace {

std::string NowUtc() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

int64_t ToInt(const SqlValue& value) { return value ? std::stoll(*value) : 0; }

// 32 random hexadecimal digits from the kernel's generator.
std::string RandomToken() {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) throw StoreError("no random numbers for a token");
    got += static_cast<size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token.push_back(kHex[b >> 4]);
    token.push_back(kHex[b & 15]);
  }
  return token;
}

using Factory = std::function<std::unique_ptr<SqlConnection>()>;

class SqlRecordStore : public RecordStore {
 public:
  explicit SqlRecordStore(Factory factory) : factory_(std::move(factory)) {
    Lease lease(*this);
    SqlConnection& db = *lease;
    db.BeginWrite();
    try {
      const std::string bytes(db.BytesType());
      db.Exec(
          "CREATE TABLE IF NOT EXISTS records (space TEXT NOT NULL, folder TEXT NOT NULL, "
          "name TEXT NOT NULL, body " +
          bytes +
          " NOT NULL, version BIGINT NOT NULL, "
          "PRIMARY KEY (space, folder, name))");
      db.Exec(
          "CREATE TABLE IF NOT EXISTS versions (space TEXT NOT NULL, folder TEXT NOT NULL, "
          "name TEXT NOT NULL, version BIGINT NOT NULL, saved_at TEXT NOT NULL, body " +
          bytes + ", PRIMARY KEY (space, folder, name, version))");
      db.Exec(
          "CREATE TABLE IF NOT EXISTS tokens (token TEXT PRIMARY KEY, space TEXT NOT NULL, "
          "created_at TEXT NOT NULL, revoked INTEGER NOT NULL DEFAULT 0)");
      db.Exec("CREATE TABLE IF NOT EXISTS results (id " + std::string(db.SerialKey()) +
              ", space TEXT NOT NULL, received_at TEXT NOT NULL, course TEXT NOT NULL, assignment "
              "TEXT NOT NULL, "
              "student TEXT NOT NULL, score TEXT NOT NULL, form TEXT NOT NULL)");
      db.Commit();
    } catch (...) {
      db.Rollback();
      throw;
    }
  }

  std::optional<std::string> Load(const RecordKey& key) override {
    return Read([&](SqlConnection& db) -> std::optional<std::string> {
      auto rows =
          db.Query("SELECT body FROM records WHERE space = $1 AND folder = $2 AND name = $3",
                   {key.space, key.folder, key.name});
      if (rows.empty()) return std::nullopt;
      return rows[0][0].value_or("");
    });
  }

  void Save(const RecordKey& key, std::string_view body) override {
    Write(key, [&](SqlConnection& db) {
      Put(db, key, std::string(body));
      return true;
    });
  }

  bool Delete(const RecordKey& key) override {
    return Write(key, [&](SqlConnection& db) {
      auto rows = db.Query(
          "DELETE FROM records WHERE space = $1 AND folder = $2 AND name = $3 RETURNING name",
          {key.space, key.folder, key.name});
      if (rows.empty()) return false;
      AddVersion(db, key, std::nullopt);
      return true;
    });
  }

  bool Update(
      const RecordKey& key,
      const std::function<std::optional<std::string>(const std::string&)>& change) override {
    return Write(key, [&](SqlConnection& db) {
      auto rows =
          db.Query("SELECT body FROM records WHERE space = $1 AND folder = $2 AND name = $3",
                   {key.space, key.folder, key.name});
      if (rows.empty()) return false;
      std::optional<std::string> changed = change(rows[0][0].value_or(""));
      if (changed) Put(db, key, std::move(*changed));
      return true;
    });
  }

  std::vector<StoredRecord> List(std::string_view space, std::string_view folder) override {
    return Read([&](SqlConnection& db) {
      std::vector<StoredRecord> list;
      for (auto& row : db.Query("SELECT name, body FROM records WHERE space = $1 AND folder = $2 "
                                "ORDER BY name",
                                {std::string(space), std::string(folder)})) {
        list.push_back({row[0].value_or(""), row[1].value_or("")});
      }
      return list;
    });
  }

  std::vector<RecordVersion> Versions(const RecordKey& key) override {
    return Read([&](SqlConnection& db) {
      std::vector<RecordVersion> list;
      for (auto& row : db.Query("SELECT version, saved_at, body IS NULL, length(body) FROM "
                                "versions WHERE space = $1 AND folder = $2 AND name = $3 "
                                "ORDER BY version DESC",
                                {key.space, key.folder, key.name})) {
        const std::string deleted = row[2].value_or("0");
        list.push_back({ToInt(row[0]), row[1].value_or(""), deleted == "1" || deleted == "t",
                        static_cast<size_t>(ToInt(row[3]))});
      }
      return list;
    });
  }

  bool Restore(const RecordKey& key, int64_t version) override {
    return Write(key, [&](SqlConnection& db) {
      auto rows = db.Query(
          "SELECT body FROM versions WHERE space = $1 AND folder = $2 AND "
          "name = $3 AND version = $4",
          {key.space, key.folder, key.name, std::to_string(version)});
      if (rows.empty() || !rows[0][0]) return false;
      Put(db, key, *rows[0][0]);
      return true;
    });
  }

  std::string AddToken(std::string_view space) override {
    const std::string token = RandomToken();
    Write({}, [&](SqlConnection& db) {
      db.Exec("INSERT INTO tokens (token, space, created_at) VALUES ($1, $2, $3)",
              {token, std::string(space), NowUtc()});
      return true;
    });
    return token;
  }

  std::vector<AccessToken> Tokens() override {
    return Read([&](SqlConnection& db) {
      std::vector<AccessToken> list;
      for (auto& row :
           db.Query("SELECT token, space, created_at, revoked FROM tokens ORDER BY created_at, "
                    "space",
                    {})) {
        list.push_back(
            {row[0].value_or(""), row[1].value_or(""), row[2].value_or(""), ToInt(row[3]) != 0});
      }
      return list;
    });
  }

  bool RevokeToken(std::string_view token) override {
    return Write({}, [&](SqlConnection& db) {
      return !db.Query(
                    "UPDATE tokens SET revoked = 1 WHERE token = $1 AND revoked = 0 "
                    "RETURNING token",
                    {std::string(token)})
                  .empty();
    });
  }

  std::optional<std::string> SpaceOfToken(std::string_view token) override {
    return Read([&](SqlConnection& db) -> std::optional<std::string> {
      auto rows = db.Query("SELECT space FROM tokens WHERE token = $1 AND revoked = 0",
                           {std::string(token)});
      if (rows.empty()) return std::nullopt;
      return rows[0][0].value_or("");
    });
  }

  bool HasTokens() override {
    return Read([&](SqlConnection& db) {
      return !db.Query("SELECT 1 FROM tokens WHERE revoked = 0 LIMIT 1", {}).empty();
    });
  }

  void AddResult(const PostedResult& result) override {
    Write({}, [&](SqlConnection& db) {
      db.Exec(
          "INSERT INTO results (space, received_at, course, assignment, student, score, "
          "form) VALUES ($1, $2, $3, $4, $5, $6, $7)",
          {result.space, NowUtc(), result.course, result.assignment, result.student, result.score,
           result.form});
      return true;
    });
  }

  std::vector<PostedResult> Results(std::string_view space) override {
    return Read([&](SqlConnection& db) {
      std::vector<PostedResult> list;
      for (auto& row : db.Query("SELECT id, received_at, course, assignment, student, score, "
                                "form FROM results WHERE space = $1 ORDER BY course, assignment, "
                                "student, id",
                                {std::string(space)})) {
        list.push_back({ToInt(row[0]), std::string(space), row[1].value_or(""), row[2].value_or(""),
                        row[3].value_or(""), row[4].value_or(""), row[5].value_or(""),
                        row[6].value_or("")});
      }
      return list;
    });
  }

 private:
  // A connection borrowed from the pool for one transaction.
  class Lease {
   public:
    explicit Lease(SqlRecordStore& store) : store_(store) {
      std::unique_lock lock(store_.mutex_);
      if (!store_.idle_.empty()) {
        connection_ = std::move(store_.idle_.back());
        store_.idle_.pop_back();
        return;
      }
      lock.unlock();
      connection_ = store_.factory_();
    }
    ~Lease() {
      std::lock_guard lock(store_.mutex_);
      if (store_.idle_.size() < kMaxIdle) store_.idle_.push_back(std::move(connection_));
    }
    SqlConnection& operator*() { return *connection_; }

   private:
    static constexpr size_t kMaxIdle = 16;
    SqlRecordStore& store_;
    std::unique_ptr<SqlConnection> connection_;
  };

  template <typename F>
  std::invoke_result_t<F, SqlConnection&> Read(F&& work) {
    Lease lease(*this);
    SqlConnection& db = *lease;
    db.BeginRead();
    try {
      auto result = work(db);
      db.Commit();
      return result;
    } catch (...) {
      db.Rollback();
      throw;
    }
  }

  template <typename F>
  bool Write(const RecordKey& key, F&& work) {
    Lease lease(*this);
    SqlConnection& db = *lease;
    db.BeginWrite();
    try {
      if (!key.name.empty()) db.LockName(key.space + "\n" + key.folder + "\n" + key.name);
      const bool result = work(db);
      db.Commit();
      return result;
    } catch (...) {
      db.Rollback();
      throw;
    }
  }

  void Put(SqlConnection& db, const RecordKey& key, std::string body) {
    const int64_t version = AddVersion(db, key, body);
    db.Exec(
        "INSERT INTO records (space, folder, name, body, version) VALUES ($1, $2, $3, $4, $5) "
        "ON CONFLICT (space, folder, name) DO UPDATE SET body = excluded.body, "
        "version = excluded.version",
        {key.space, key.folder, key.name, std::move(body), std::to_string(version)});
  }

  // Adds the next version of `key` (nullopt: a deletion) and drops the
  // oldest beyond kKeptVersions; returns its number.
  int64_t AddVersion(SqlConnection& db, const RecordKey& key, SqlValue body) {
    auto rows = db.Query(
        "SELECT COALESCE(MAX(version), 0) FROM versions WHERE space = $1 AND "
        "folder = $2 AND name = $3",
        {key.space, key.folder, key.name});
    const int64_t version = ToInt(rows[0][0]) + 1;
    db.Exec(
        "INSERT INTO versions (space, folder, name, version, saved_at, body) VALUES ($1, $2, "
        "$3, $4, $5, $6)",
        {key.space, key.folder, key.name, std::to_string(version), NowUtc(), std::move(body)});
    db.Exec("DELETE FROM versions WHERE space = $1 AND folder = $2 AND name = $3 AND version <= $4",
            {key.space, key.folder, key.name, std::to_string(version - kKeptVersions)});
    return version;
  }

  Factory factory_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<SqlConnection>> idle_;
};

}  // namespace

std::unique_ptr<RecordStore> OpenRecordStore(const std::string& database,
                                             const std::string& data_dir) {
  if (database.starts_with("postgresql://") || database.starts_with("postgres://")) {
    return std::make_unique<SqlRecordStore>([database] { return OpenPostgres(database); });
  }
  const std::string path = database.empty() ? data_dir + "/records.db" : database;
  return std::make_unique<SqlRecordStore>([path] { return OpenSqlite(path); });
}

}  // namespace norwin::server
