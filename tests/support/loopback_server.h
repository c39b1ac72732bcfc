// Test helper: a real HTTP server on 127.0.0.1 with an ephemeral port,
// serving from a background thread for the lifetime of the object.
//
// Handlers are registered by method and exact path (the path without its
// query) at any time, also while requests arrive; a request without a
// handler gets 404. Every request is recorded before it is answered (method,
// target as sent, decoded path, body, headers), so a test can assert on what
// a client sent. Switches make the server misbehave on purpose: answer
// garbage, answer an error text, or hold every connection silent for a
// bounded time. Fixtures of record and course-management servers build on
// it. All members are thread safe. Header-only (see tests/CMakeLists.txt).
#pragma once

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace norwin::testing {

struct RecordedRequest {
  std::string method;  // "GET", "POST", ...
  std::string target;  // path and query exactly as sent ("/app/x.asp?a=1&b=%20")
  std::string path;    // the path part, percent-decoded ("/app/x.asp")
  std::string body;
  // Headers as received, ordered by name; the server's own bookkeeping
  // entries (remote and local address) are left out.
  std::vector<std::pair<std::string, std::string>> headers;

  // The first header of that name (without regard to case); "" when absent.
  std::string Header(std::string_view name) const {
    const auto* found = Find(name);
    return found ? found->second : std::string();
  }
  bool HasHeader(std::string_view name) const { return Find(name) != nullptr; }

 private:
  const std::pair<std::string, std::string>* Find(std::string_view name) const {
    for (const auto& header : headers) {
      const std::string& key = header.first;
      if (key.size() == name.size() &&
          std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
          }))
        return &header;
    }
    return nullptr;
  }
};

// `text` of a form field with its percent escapes and "+" decoded.
inline std::string DecodeFormText(std::string_view text) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out.push_back(' ');
    } else if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
               hex(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// Splits an application/x-www-form-urlencoded body into its decoded
// name=value pairs, in body order.
inline std::vector<std::pair<std::string, std::string>> ParseForm(std::string_view body) {
  std::vector<std::pair<std::string, std::string>> fields;
  while (!body.empty()) {
    const size_t end = body.find('&');
    const std::string_view pair = body.substr(0, end);
    body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
    if (pair.empty()) continue;
    const size_t equals = pair.find('=');
    fields.emplace_back(
        DecodeFormText(pair.substr(0, equals)),
        equals == std::string_view::npos ? std::string() : DecodeFormText(pair.substr(equals + 1)));
  }
  return fields;
}

class LoopbackServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  // The body the server sends when told to answer garbage: neither XML nor
  // text, with NUL bytes and an unbalanced tag.
  static constexpr char kGarbageBytes[] = "\x89PNG\x00\x01\xff\xfe<<junk \x00 &&& </x>";
  static constexpr std::string_view kGarbage{kGarbageBytes, sizeof kGarbageBytes - 1};

  // Starts serving; aborts the test program when no port can be had.
  LoopbackServer() {
    // One request a connection: a connection kept alive would hold the
    // server's stop for its keep-alive time when a client outlives the
    // server (the process's default client does).
    server_.set_keep_alive_max_count(1);
    server_.set_read_timeout(5);
    server_.set_write_timeout(5);
    auto dispatch = [this](const httplib::Request& request, httplib::Response& response) {
      Dispatch(request, response);
    };
    server_.Get(".*", dispatch);
    // POST bodies are read here rather than by the HTTP library, which
    // refuses form posts over 8 KiB; the servers these fixtures stand in
    // for take a long exam's results whole.
    server_.Post(".*", [this](const httplib::Request& request, httplib::Response& response,
                              const httplib::ContentReader& content) {
      httplib::Request whole = request;
      content([&whole](const char* data, size_t length) {
        whole.body.append(data, length);
        return true;
      });
      if (whole.get_header_value("Content-Type").starts_with("application/x-www-form-urlencoded")) {
        for (auto& [name, value] : ParseForm(whole.body)) whole.params.emplace(name, value);
      }
      Dispatch(whole, response);
    });
    server_.Put(".*", dispatch);
    server_.Patch(".*", dispatch);
    server_.Delete(".*", dispatch);
    server_.Options(".*", dispatch);
    server_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
          std::string what = "handler failed";
          try {
            std::rethrow_exception(error);
          } catch (const std::exception& e) {
            what = e.what();
          } catch (...) {
          }
          response.status = 500;
          response.set_content(what, "text/plain");
        });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
      std::fprintf(stderr, "loopback server: cannot bind to 127.0.0.1\n");
      std::abort();
    }
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    for (int i = 0; i < 5000 && !server_.is_running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!server_.is_running()) {
      std::fprintf(stderr, "loopback server: did not start\n");
      std::abort();
    }
  }

  // Wakes held connections, stops serving and waits for the server thread.
  ~LoopbackServer() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    server_.stop();
    thread_.join();
  }

  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT", without a trailing slash.
  std::string base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // base_url() followed by `path_and_query` ("/app/x.xml").
  std::string url(std::string_view path_and_query) const {
    return base_url() + std::string(path_and_query);
  }

  // Handlers by method and exact path; a later registration replaces an
  // earlier one. A GET handler also answers HEAD.
  void On(std::string method, std::string path, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[{std::move(method), std::move(path)}] = std::move(handler);
  }
  void Get(std::string path, Handler handler) { On("GET", std::move(path), std::move(handler)); }
  void Post(std::string path, Handler handler) { On("POST", std::move(path), std::move(handler)); }
  // Answers `method` requests for `path` with a fixed status and text.
  void Reply(std::string method, std::string path, std::string text, int status = 200,
             std::string content_type = "text/plain") {
    On(std::move(method), std::move(path),
       [text = std::move(text), status, content_type = std::move(content_type)](
           const httplib::Request&, httplib::Response& response) {
         response.status = status;
         response.set_content(text, content_type);
       });
  }

  // What every request gets from now on (handlers are kept for later).
  void AnswerNormally() { SetMode(Mode::kNormal); }
  // 200 with kGarbage as body, for every request.
  void AnswerGarbage() { SetMode(Mode::kGarbage); }
  // `status` with `text` as body, for every request.
  void AnswerErrorText(std::string text, int status = 500) {
    std::lock_guard lock(mutex_);
    mode_ = Mode::kErrorText;
    error_text_ = std::move(text);
    error_status_ = status;
  }
  // Every request is read, then the connection is held silent for `hold`
  // (or until the server stops) before a 503 goes out: a server that never
  // answers, for clients with a shorter time limit.
  void AnswerNothing(std::chrono::milliseconds hold = std::chrono::seconds(10)) {
    std::lock_guard lock(mutex_);
    mode_ = Mode::kNothing;
    hold_ = hold;
  }

  // Every request so far, in the order they arrived.
  std::vector<RecordedRequest> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  size_t request_count() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
  }
  // The last request; an empty record when there was none.
  RecordedRequest last_request() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? RecordedRequest{} : requests_.back();
  }
  void ClearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
  }
  // Waits until at least `count` requests have arrived; false on time-out.
  bool WaitForRequests(size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
  }

 private:
  enum class Mode { kNormal, kGarbage, kErrorText, kNothing };

  void SetMode(Mode mode) {
    std::lock_guard lock(mutex_);
    mode_ = mode;
  }

  void Dispatch(const httplib::Request& request, httplib::Response& response) {
    RecordedRequest record{request.method, request.target, request.path, request.body, {}};
    for (const auto& [name, value] : request.headers) {
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
          name == "LOCAL_PORT")
        continue;
      record.headers.emplace_back(name, value);
    }
    Handler handler;
    std::unique_lock lock(mutex_);
    requests_.push_back(std::move(record));
    arrived_.notify_all();
    switch (mode_) {
      case Mode::kGarbage:
        response.status = 200;
        response.set_content(std::string(kGarbage), "application/octet-stream");
        return;
      case Mode::kErrorText:
        response.status = error_status_;
        response.set_content(error_text_, "text/plain");
        return;
      case Mode::kNothing:
        wake_.wait_for(lock, hold_, [this] { return stopping_; });
        response.status = 503;
        response.set_content("held", "text/plain");
        return;
      case Mode::kNormal:
        break;
    }
    const std::string& method = request.method == "HEAD" ? kGet : request.method;
    auto found = handlers_.find({method, request.path});
    if (found != handlers_.end()) handler = found->second;
    lock.unlock();
    if (handler) {
      handler(request, response);
    } else {
      response.status = 404;
      response.set_content("no handler for " + request.method + " " + request.path, "text/plain");
    }
  }

  inline static const std::string kGet = "GET";

  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;

  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::map<std::pair<std::string, std::string>, Handler> handlers_;
  std::vector<RecordedRequest> requests_;
  Mode mode_ = Mode::kNormal;
  std::string error_text_;
  int error_status_ = 500;
  std::chrono::milliseconds hold_{10'000};
};

}  // namespace norwin::testing
