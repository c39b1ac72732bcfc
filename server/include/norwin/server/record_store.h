// Where norwin-server keeps what it is given: records (one current document
// per location, with the last few versions for an administrator to restore),
// access tokens and the results posted to its grade inbox.
//
// A location is a namespace (the name an access token stands for; "" when
// the server runs without tokens), the application folder of the request
// ("/app/sub/") and the record's file name. Every member is one database
// transaction, so each request sees and leaves a whole state. Failures of
// the database itself are raised as StoreError, whose message names what
// failed; a program reports it as one line and carries on with the next
// request. Implementations are safe to call from many threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace norwin::server {

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RecordKey {
  std::string space;   // the namespace; "" without tokens
  std::string folder;  // "/app/" (slashes at both ends)
  std::string name;    // "roster.xml"
};

struct StoredRecord {
  std::string name;
  std::string body;
};

struct RecordVersion {
  int64_t version = 0;
  std::string saved_at;  // UTC, "2026-12-08 12:00:00"
  bool deleted = false;  // the record was deleted at this version
  size_t size = 0;
};

struct AccessToken {
  std::string token;
  std::string space;
  std::string created_at;
  bool revoked = false;
};

// One result form as the grade inbox received it.
struct PostedResult {
  int64_t id = 0;
  std::string space;
  std::string received_at;
  std::string course;
  std::string assignment;
  std::string student;
  std::string score;
  std::string form;  // the whole form body as posted
};

class RecordStore {
 public:
  virtual ~RecordStore() = default;

  // How many versions of a record are kept (the current one included).
  static constexpr int kKeptVersions = 5;

  // The current document at `key`; nullopt when there is none.
  virtual std::optional<std::string> Load(const RecordKey& key) = 0;
  // Makes `body` the current document at `key` and keeps it as a new
  // version, dropping versions beyond kKeptVersions.
  virtual void Save(const RecordKey& key, std::string_view body) = 0;
  // Removes the current document (its versions stay, so it can be
  // restored); false when there was none.
  virtual bool Delete(const RecordKey& key) = 0;
  // Reads the current document at `key`, lets `change` rewrite it, and
  // saves the result, in one transaction: no save of another client comes
  // between the read and the write. `change` returns nullopt to leave the
  // record as it was. False when there is no record.
  virtual bool Update(
      const RecordKey& key,
      const std::function<std::optional<std::string>(const std::string&)>& change) = 0;
  // The current records of a folder, in name order.
  virtual std::vector<StoredRecord> List(std::string_view space, std::string_view folder) = 0;
  // The kept versions of `key`, newest first.
  virtual std::vector<RecordVersion> Versions(const RecordKey& key) = 0;
  // Makes version `version` current again (as a new version); false when
  // there is no such version or it is a deletion.
  virtual bool Restore(const RecordKey& key, int64_t version) = 0;

  // A new random token for namespace `space`.
  virtual std::string AddToken(std::string_view space) = 0;
  virtual std::vector<AccessToken> Tokens() = 0;
  // False when there is no such token (or it was revoked already).
  virtual bool RevokeToken(std::string_view token) = 0;
  // The namespace of a valid token.
  virtual std::optional<std::string> SpaceOfToken(std::string_view token) = 0;
  // Whether any token is valid: then every request must carry one.
  virtual bool HasTokens() = 0;

  // Keeps a result form; returns once it is durable.
  virtual void AddResult(const PostedResult& result) = 0;
  // Every result of namespace `space`, by course, assignment, student and
  // arrival.
  virtual std::vector<PostedResult> Results(std::string_view space) = 0;
};

// Opens the store named by `database`: "" for the SQLite file
// "records.db" in `data_dir` (created with its tables on first use), a path
// ending ".db" for that SQLite file, or a "postgresql://" connection string.
std::unique_ptr<RecordStore> OpenRecordStore(const std::string& database,
                                             const std::string& data_dir);

}  // namespace norwin::server
