// Test helper: a record server on 127.0.0.1, the server side of the record
// storage, over LoopbackServer (loopback_server.h).
//
// It answers the four record pages and the two login pages in one or more
// folders of its site (the app folder "/app/" from the start, more with
// ServeFolder), keeping the records of each folder as files in a temporary
// folder of its own:
//   LoadPellamObject.asp?ObjName=K&FileName=F...  the record F;
//       "Record F not found" when there is none;
//   SavePellamObject.asp?...                     stores the request body as F,
//       answers nothing; "No document received" for an empty body;
//   DeletePellamObject.asp?...                   removes F, answers nothing;
//       "Record F not found" when there is none;
//   GetTitleFileNames.asp?ObjName=K...           "title;file;" for every
//       record of kind K (by file name: ExamList "_pmxl.xml", Exam
//       "_pmxm.xml", Lesson and TextbookLesson "_pml.xml", LessonMenu and
//       TextbookLessonMenu "_lm.xml", others ".xml"), in name order, the
//       title being the text of the record's <title> (empty when none);
//       OnListing replaces that for one kind;
//   LoginKey.asp                                 a new key ("key-1", "key-2",
//       ... or the one set with SetNextLoginKey);
//   Login.asp?LoginKey=KEY&LoginValue=DIGEST     "Validated" when KEY was
//       issued and DIGEST is its MD5 in lower-case hexadecimal, else
//       "Login refused"; keys and digests are those of the Windows-1252
//       bytes, as the login computes them.
// A FileName holding "/", "\" or ".." is refused with a message. With
// RequireLogin(kYes) the record pages answer "Not logged in" unless the
// request carries a validated key and its value. Everything else (garbage,
// error texts, silence, request records, replacing a page with Reply) comes
// from the LoopbackServer, reached through loopback() or the shorthands.
//
// The same fixture runs the real server: when NORWIN_TEST_RECORD_SERVER names
// the norwin-server program (and the test binary is built with the server's
// store, NORWIN_TEST_WITH_NORWIN_SERVER), the six pages are passed on to a
// norwin-server of the fixture's own, started for it (with --require-login
// once RequireLogin(kYes) is called; on the PostgreSQL database
// NORWIN_TEST_RECORD_DATABASE names, when set), and PutRecord and GetRecord
// go straight to that server's store. What the fixture is told to do itself
// (OnListing, SetNextLoginKey, replies, garbage, silence) it still does, and
// every request is recorded as before. Tests that depend on the fixture's
// own keys ask UsesNorwinServer().
// Thread safe. Header-only.
#pragma once

#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "norwin/platform/codepage.h"
#include "support/loopback_server.h"
#include "support/temp_prefix.h"

#ifdef NORWIN_TEST_WITH_NORWIN_SERVER
#include <cstdlib>
#include <memory>

#include "norwin/server/record_store.h"
#include "support/norwin_server_process.h"
#include "support/postgres_database.h"
#endif

namespace norwin::testing {

class RecordServer {
 public:
  enum class Login { kNotRequired, kRequired };
  // Computes the answer of a listing for one kind: the request, the disk
  // folder of the served folder.
  using ListingHandler =
      std::function<std::string(const httplib::Request&, const std::filesystem::path&)>;

  RecordServer() {
    StartNorwinServer();
    ServeFolder("/app/");
  }
  RecordServer(const RecordServer&) = delete;
  RecordServer& operator=(const RecordServer&) = delete;

  // Serves the pages in the site folder `path` ("/app/sub/", with slashes
  // at both ends) too, with records of its own.
  void ServeFolder(const std::string& path) {
    const std::filesystem::path disk = DiskFolder(path);
    std::filesystem::create_directories(disk);
    auto on = [&](const char* page, auto member) {
      server_.Post(path + page, [this, disk, member, page](const httplib::Request& request,
                                                           httplib::Response& response) {
        if (this->ForwardToNorwinServer(page, request, response)) return;
        response.status = 200;
        // Records go out as application/octet-stream: the storage reads
        // the text whatever its type, and the server library would
        // compress a text type at its slowest setting (a second a
        // megabyte) for every client that accepts compressed answers.
        std::string text = (this->*member)(request, disk);
        response.set_content(text,
                             text.starts_with("<") ? "application/octet-stream" : "text/plain");
      });
    };
    on("LoadPellamObject.asp", &RecordServer::LoadPage);
    on("SavePellamObject.asp", &RecordServer::SavePage);
    on("DeletePellamObject.asp", &RecordServer::DeletePage);
    on("GetTitleFileNames.asp", &RecordServer::ListPage);
    on("LoginKey.asp", &RecordServer::LoginKeyPage);
    on("Login.asp", &RecordServer::LoginPage);
  }

  // "http://127.0.0.1:PORT/app/" (or the folder given).
  std::string app_url(std::string_view path = "/app/") const { return server_.url(path); }
  // The location of record `file` in the app folder.
  std::string location(std::string_view file, std::string_view path = "/app/") const {
    return app_url(path) + std::string(file);
  }
  // Where the records of site folder `path` are kept.
  std::filesystem::path DiskFolder(std::string_view path = "/app/") const {
    std::string relative(path);
    std::replace(relative.begin(), relative.end(), '/', '_');
    return root_.path() / relative;
  }

  void PutRecord(std::string_view file, std::string_view text, std::string_view path = "/app/") {
#ifdef NORWIN_TEST_WITH_NORWIN_SERVER
    if (store_) {
      store_->Save({"", std::string(path), std::string(file)}, text);
      return;
    }
#endif
    std::ofstream(DiskFolder(path) / std::string(file), std::ios::binary) << text;
  }
  std::optional<std::string> GetRecord(std::string_view file,
                                       std::string_view path = "/app/") const {
#ifdef NORWIN_TEST_WITH_NORWIN_SERVER
    if (store_) return store_->Load({"", std::string(path), std::string(file)});
#endif
    return ReadFile(DiskFolder(path) / std::string(file));
  }

  void RequireLogin(Login login) {
    {
      std::lock_guard lock(mutex_);
      login_ = login;
    }
    StartNorwinServer();
  }

  // Whether the pages are answered by a norwin-server (see above).
  bool UsesNorwinServer() const {
#ifdef NORWIN_TEST_WITH_NORWIN_SERVER
    return static_cast<bool>(store_);
#else
    return false;
#endif
  }
  // The key LoginKey.asp issues next (once).
  void SetNextLoginKey(std::string key) {
    std::lock_guard lock(mutex_);
    next_key_ = std::move(key);
  }
  // Replaces the listing of kind `obj_name`.
  void OnListing(std::string obj_name, ListingHandler handler) {
    std::lock_guard lock(mutex_);
    listings_[std::move(obj_name)] = std::move(handler);
  }

  // MD5 of the Windows-1252 bytes of `text` (UTF-8) in lower-case
  // hexadecimal; "" when it has no such bytes.
  static std::string Md5Hex(std::string_view text) {
    const Result<std::string> bytes = platform::Utf8ToCp1252(text);
    if (!bytes.ok()) return {};
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes->data(), bytes->size(), hash, &size, EVP_md5(), nullptr);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < size; ++i) {
      out.push_back(kHex[hash[i] >> 4]);
      out.push_back(kHex[hash[i] & 15]);
    }
    return out;
  }

  LoopbackServer& loopback() { return server_; }
  std::vector<RecordedRequest> requests() const { return server_.requests(); }
  RecordedRequest last_request() const { return server_.last_request(); }
  size_t request_count() const { return server_.request_count(); }
  void ClearRequests() { server_.ClearRequests(); }
  void AnswerNormally() { server_.AnswerNormally(); }
  void AnswerGarbage() { server_.AnswerGarbage(); }
  void AnswerErrorText(std::string text, int status = 500) {
    server_.AnswerErrorText(std::move(text), status);
  }
  void AnswerNothing(std::chrono::milliseconds hold = std::chrono::seconds(10)) {
    server_.AnswerNothing(hold);
  }

 private:
#ifdef NORWIN_TEST_WITH_NORWIN_SERVER
  // (Re)starts the norwin-server when NORWIN_TEST_RECORD_SERVER names one.
  void StartNorwinServer() {
    const char* program = std::getenv("NORWIN_TEST_RECORD_SERVER");
    if (program == nullptr || *program == '\0') return;
    std::vector<std::string> extra;
    if (!database_) database_ = PostgresDatabase::FromEnvironment();
    if (database_) extra = {"--database", database_->conninfo()};
    std::lock_guard lock(mutex_);
    if (login_ == Login::kRequired) extra.push_back("--require-login");
    norwin_server_.reset();
    norwin_server_ =
        std::make_shared<NorwinServerProcess>(program, root_.path() / "norwin-server", extra);
    if (!store_) {
      store_ = server::OpenRecordStore(database_ ? database_->conninfo() : "",
                                       (root_.path() / "norwin-server").string());
    }
  }

  // Passes a page the fixture was not told to answer itself on to the
  // norwin-server; false when the fixture answers.
  bool ForwardToNorwinServer(const char* page, const httplib::Request& request,
                             httplib::Response& response) {
    std::shared_ptr<NorwinServerProcess> backend;
    {
      std::lock_guard lock(mutex_);
      if (!norwin_server_) return false;
      const std::string_view name(page);
      if (name == "GetTitleFileNames.asp" && listings_.count(request.get_param_value("ObjName")))
        return false;
      if (name == "LoginKey.asp" && !next_key_.empty()) return false;
      if (name == "Login.asp" && issued_.count(request.get_param_value("LoginKey"))) return false;
      backend = norwin_server_;
    }
    httplib::Client client("127.0.0.1", backend->port());
    client.set_url_encode(false);
    client.set_keep_alive(false);
    std::string type = request.get_header_value("Content-Type");
    if (type.empty()) type = "application/octet-stream";
    httplib::Result answer = client.Post(request.target.c_str(), request.body, type.c_str());
    if (!answer) {
      response.status = 502;
      response.set_content("norwin-server did not answer", "text/plain");
      return true;
    }
    response.status = answer->status;
    response.set_content(answer->body, answer->get_header_value("Content-Type").c_str());
    return true;
  }

#else
  void StartNorwinServer() {}
  bool ForwardToNorwinServer(const char*, const httplib::Request&, httplib::Response&) {
    return false;
  }
#endif

  static std::optional<std::string> ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The record's file name, or the reason it is refused.
  static std::optional<std::string> BadFileName(const std::string& name) {
    if (name.empty()) return "No FileName given";
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
        name.find("..") != std::string::npos)
      return "Invalid FileName " + name;
    return std::nullopt;
  }

  bool LoggedIn(const httplib::Request& request) {
    std::lock_guard lock(mutex_);
    if (login_ == Login::kNotRequired) return true;
    const std::string key = request.get_param_value("LoginKey");
    return issued_.count(key) != 0 && !key.empty() &&
           request.get_param_value("LoginValue") == Md5Hex(key);
  }

  // Checks the login and the file name; on success fills `file`.
  std::optional<std::string> Refusal(const httplib::Request& request,
                                     const std::filesystem::path& disk,
                                     std::filesystem::path* file) {
    if (!LoggedIn(request)) return std::string("Not logged in");
    const std::string name = request.get_param_value("FileName");
    if (std::optional<std::string> bad = BadFileName(name)) return bad;
    *file = disk / name;
    return std::nullopt;
  }

  std::string LoadPage(const httplib::Request& request, const std::filesystem::path& disk) {
    std::filesystem::path file;
    if (std::optional<std::string> refusal = Refusal(request, disk, &file)) return *refusal;
    std::optional<std::string> text = ReadFile(file);
    return text ? *text : "Record " + file.filename().string() + " not found";
  }

  std::string SavePage(const httplib::Request& request, const std::filesystem::path& disk) {
    std::filesystem::path file;
    if (std::optional<std::string> refusal = Refusal(request, disk, &file)) return *refusal;
    if (request.body.empty()) return "No document received";
    // Whole or not at all, as a real server stores it: a load that comes
    // meanwhile reads the old record, never half of the new one.
    static std::atomic<unsigned> serial{0};
    const std::filesystem::path temporary =
        file.string() + ".part" + std::to_string(serial.fetch_add(1));
    std::ofstream(temporary, std::ios::binary) << request.body;
    std::filesystem::rename(temporary, file);
    return {};
  }

  std::string DeletePage(const httplib::Request& request, const std::filesystem::path& disk) {
    std::filesystem::path file;
    if (std::optional<std::string> refusal = Refusal(request, disk, &file)) return *refusal;
    std::error_code error;
    if (!std::filesystem::remove(file, error)) {
      return "Record " + file.filename().string() + " not found";
    }
    return {};
  }

  static std::string_view SuffixOf(std::string_view obj_name) {
    if (obj_name == "ExamList") return "_pmxl.xml";
    if (obj_name == "Exam") return "_pmxm.xml";
    if (obj_name == "Lesson" || obj_name == "TextbookLesson") return "_pml.xml";
    if (obj_name == "LessonMenu" || obj_name == "TextbookLessonMenu") return "_lm.xml";
    return ".xml";
  }

  static std::string TitleOf(const std::string& text) {
    const size_t begin = text.find("<title>");
    if (begin == std::string::npos) return {};
    const size_t end = text.find("</title>", begin);
    if (end == std::string::npos) return {};
    return text.substr(begin + 7, end - begin - 7);
  }

  std::string ListPage(const httplib::Request& request, const std::filesystem::path& disk) {
    if (!LoggedIn(request)) return "Not logged in";
    const std::string obj_name = request.get_param_value("ObjName");
    ListingHandler custom;
    {
      std::lock_guard lock(mutex_);
      if (auto found = listings_.find(obj_name); found != listings_.end()) custom = found->second;
    }
    if (custom) return custom(request, disk);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(disk)) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(SuffixOf(obj_name))) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string answer;
    for (const std::string& name : names) {
      answer += TitleOf(ReadFile(disk / name).value_or("")) + ";" + name + ";";
    }
    return answer;
  }

  std::string LoginKeyPage(const httplib::Request&, const std::filesystem::path&) {
    std::lock_guard lock(mutex_);
    std::string key = next_key_.empty() ? "key-" + std::to_string(issued_.size() + 1)
                                        : std::exchange(next_key_, std::string());
    issued_.insert(key);
    return key;
  }

  std::string LoginPage(const httplib::Request& request, const std::filesystem::path&) {
    const std::string key = request.get_param_value("LoginKey");
    std::lock_guard lock(mutex_);
    const bool valid =
        issued_.count(key) != 0 && request.get_param_value("LoginValue") == Md5Hex(key);
    return valid ? "Validated" : "Login refused";
  }

  TempDir root_;
  LoopbackServer server_;
  mutable std::mutex mutex_;
  Login login_ = Login::kNotRequired;
  std::string next_key_;
  std::set<std::string> issued_;
  std::map<std::string, ListingHandler> listings_;
#ifdef NORWIN_TEST_WITH_NORWIN_SERVER
  std::unique_ptr<PostgresDatabase> database_;
  std::shared_ptr<NorwinServerProcess> norwin_server_;
  std::unique_ptr<server::RecordStore> store_;
#endif
};

}  // namespace norwin::testing
