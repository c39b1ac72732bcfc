// Test helper: a course-management server on 127.0.0.1, the other side of
// the submission classes (live exercises, exams, lessons), over
// LoopbackServer (loopback_server.h).
//
// It issues submission documents and takes result forms:
//   GET  /vellora/documents/NAME?...&key=K   the document put under NAME,
//        when K is an accepted access key ("pelvanx1" and "pelvanx2" unless
//        AcceptKeys says otherwise); 403 "Invalid key" without one, 404
//        "No document NAME" for a name it does not have;
//   POST /vellora/submit.asp                 the submit host,
//   POST /vellora/backup.asp                 the backup host: both record
//        the form (ReceivedForm, fields percent-decoded as a form decoder
//        reads them) and answer "success" (or SetAcceptReply's text).
// FailNext(n, how) makes the next n requests of either kind fail: answer a
// refusal text, answer garbage, answer 500, or stay silent (the connection
// is held for SetSilence's time, longer than the client's limit, then 503).
// Everything else (every request as sent, replacing a page with Reply, the
// failure modes for all requests) comes from the LoopbackServer, reached
// through loopback() or the shorthands. Thread safe. Header-only.
#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/loopback_server.h"

namespace norwin::testing {

class CourseServer {
 public:
  enum class Failure {
    kRefuse,       // 200 with the refusal text
    kGarbage,      // 200 with LoopbackServer::kGarbage
    kServerError,  // 500 with the refusal text
    kSilence,      // no answer within the client's limit
  };

  // One posted result form.
  struct ReceivedForm {
    std::string host;          // "submit" or "backup"
    std::string content_type;  // the request's Content-Type header
    std::string body;          // as sent
    // name=value pairs in body order, percent-decoded ("+" is a blank).
    std::vector<std::pair<std::string, std::string>> fields;
    bool accepted = false;  // whether the server answered with its acceptance

    // The value of the first field `name`; nullopt when there is none.
    std::optional<std::string> Field(std::string_view name) const {
      for (const auto& field : fields) {
        if (field.first == name) return field.second;
      }
      return std::nullopt;
    }
  };

  static constexpr std::string_view kDefaultRefusal = "failure: the results database is busy";

  CourseServer() {
    server_.Post("/vellora/submit.asp",
                 [this](const httplib::Request& request, httplib::Response& response) {
                   FormPage("submit", request, response);
                 });
    server_.Post("/vellora/backup.asp",
                 [this](const httplib::Request& request, httplib::Response& response) {
                   FormPage("backup", request, response);
                 });
  }
  // Wakes silent connections; the server stops after.
  ~CourseServer() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
  }
  CourseServer(const CourseServer&) = delete;
  CourseServer& operator=(const CourseServer&) = delete;

  // ---- Submission documents ----
  // Serves `xml` under `name` (replacing what was there).
  void PutDocument(const std::string& name, std::string xml) {
    {
      std::lock_guard lock(mutex_);
      documents_[name] = std::move(xml);
    }
    server_.Get("/vellora/documents/" + name,
                [this, name](const httplib::Request& request, httplib::Response& response) {
                  DocumentPage(name, request, response);
                });
  }
  void RemoveDocument(const std::string& name) {
    std::lock_guard lock(mutex_);
    documents_.erase(name);
  }
  void AcceptKeys(std::set<std::string> keys) {
    std::lock_guard lock(mutex_);
    keys_ = std::move(keys);
  }
  // "http://127.0.0.1:PORT/vellora/documents/NAME" followed by `query`
  // ("?assignment=7", or nothing).
  std::string document_url(std::string_view name, std::string_view query = "") const {
    return server_.url("/vellora/documents/" + std::string(name) + std::string(query));
  }

  // ---- Result forms ----
  std::string submit_url() const { return server_.url("/vellora/submit.asp"); }
  std::string backup_url() const { return server_.url("/vellora/backup.asp"); }
  // The text a form is accepted with ("success" unless set).
  void SetAcceptReply(std::string text) {
    std::lock_guard lock(mutex_);
    accept_reply_ = std::move(text);
  }
  // The next `count` requests (documents and forms) fail as `how` says.
  void FailNext(size_t count, Failure how, std::string refusal = std::string(kDefaultRefusal)) {
    std::lock_guard lock(mutex_);
    failures_left_ = count;
    failure_ = how;
    refusal_ = std::move(refusal);
  }
  // How long a silent failure holds its connection (3 seconds unless set).
  void SetSilence(std::chrono::milliseconds hold) {
    std::lock_guard lock(mutex_);
    hold_ = hold;
  }
  // The forms posted so far, in order, failed ones included.
  std::vector<ReceivedForm> forms() const {
    std::lock_guard lock(mutex_);
    return forms_;
  }
  // The host of each form so far, in order ("submit", "backup", ...).
  std::vector<std::string> form_hosts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> hosts;
    for (const ReceivedForm& form : forms_) hosts.push_back(form.host);
    return hosts;
  }

  LoopbackServer& loopback() { return server_; }
  std::vector<RecordedRequest> requests() const { return server_.requests(); }
  RecordedRequest last_request() const { return server_.last_request(); }
  size_t request_count() const { return server_.request_count(); }
  void ClearRequests() {
    server_.ClearRequests();
    std::lock_guard lock(mutex_);
    forms_.clear();
  }

 private:
  // Answers with the pending failure when there is one; true then.
  bool Fail(httplib::Response& response) {
    std::unique_lock lock(mutex_);
    if (failures_left_ == 0) return false;
    --failures_left_;
    switch (failure_) {
      case Failure::kRefuse:
        response.status = 200;
        response.set_content(refusal_, "text/plain");
        break;
      case Failure::kGarbage:
        response.status = 200;
        response.set_content(std::string(LoopbackServer::kGarbage), "application/octet-stream");
        break;
      case Failure::kServerError:
        response.status = 500;
        response.set_content(refusal_, "text/plain");
        break;
      case Failure::kSilence:
        wake_.wait_for(lock, hold_, [this] { return stopping_; });
        response.status = 503;
        response.set_content("held", "text/plain");
        break;
    }
    return true;
  }

  void DocumentPage(const std::string& name, const httplib::Request& request,
                    httplib::Response& response) {
    if (Fail(response)) return;
    std::lock_guard lock(mutex_);
    const auto document = documents_.find(name);
    if (document == documents_.end()) {
      response.status = 404;
      response.set_content("No document " + name, "text/plain");
      return;
    }
    if (keys_.count(request.get_param_value("key")) == 0) {
      response.status = 403;
      response.set_content("Invalid key", "text/plain");
      return;
    }
    response.status = 200;
    response.set_content(document->second, "application/octet-stream");
  }

  void FormPage(const char* host, const httplib::Request& request, httplib::Response& response) {
    ReceivedForm form;
    form.host = host;
    form.content_type = request.get_header_value("Content-Type");
    form.body = request.body;
    form.fields = ParseForm(request.body);
    // Recorded on arrival, so that a held form keeps its place.
    size_t index = 0;
    {
      std::lock_guard lock(mutex_);
      index = forms_.size();
      forms_.push_back(std::move(form));
    }
    if (Fail(response)) return;
    std::lock_guard lock(mutex_);
    response.status = 200;
    response.set_content(accept_reply_, "text/plain");
    if (index < forms_.size()) forms_[index].accepted = true;
  }

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::map<std::string, std::string> documents_;
  std::set<std::string> keys_ = {"pelvanx1", "pelvanx2"};
  std::string accept_reply_ = "success";
  size_t failures_left_ = 0;
  Failure failure_ = Failure::kRefuse;
  std::string refusal_ = std::string(kDefaultRefusal);
  std::chrono::milliseconds hold_{3000};
  std::vector<ReceivedForm> forms_;
  // Last, so that it stops (and joins its threads) while the members its
  // handlers use are still there.
  LoopbackServer server_;
};

}  // namespace norwin::testing
