#include "norwin/server/service.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <sstream>

#include "course_files.h"
#include "grade_inbox.h"

namespace norwin::server {

namespace {

using Clock = std::chrono::steady_clock;

thread_local Clock::time_point request_start;
// What the request's log line adds after its time; set by the handler.
thread_local std::string note;

// The parts of a request path: the token segment (when tokens are in use),
// the application folder and the page.
struct PathParts {
  std::string first_segment;  // "" when the path has none
  std::string rest;           // the path after the first segment ("/app/x.asp")
};

PathParts SplitFirstSegment(const std::string& path) {
  if (path.size() < 2 || path[0] != '/') return {{}, path};
  const size_t end = path.find('/', 1);
  if (end == std::string::npos) return {path.substr(1), "/"};
  return {path.substr(1, end - 1), path.substr(end)};
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

struct Service::Impl {
  Impl(RecordStore& s, ServiceOptions o) : store(s), options(std::move(o)) {}

  RecordStore& store;
  ServiceOptions options;
  LoginKeys keys;
  httplib::Server http;

  static void Refuse(httplib::Response& response, int status, const std::string& reason) {
    response.status = status;
    response.set_content(OneLine(reason) + "\n", "text/plain; charset=utf-8");
  }

  void Log(const httplib::Request& request, const httplib::Response& response) {
    const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - request_start);
    std::string page = request.path;
    if (const size_t slash = page.rfind('/'); slash != std::string::npos && slash + 1 < page.size())
      page = page.substr(slash + 1);
    std::string kind = request.get_param_value("ObjName");
    char line[512];
    std::snprintf(line, sizeof line, "%s %s %s %d %.1fms%s%s", request.method.c_str(),
                  OneLine(page).c_str(), kind.empty() ? "-" : OneLine(kind).c_str(),
                  response.status, elapsed.count(), note.empty() ? "" : " ", OneLine(note).c_str());
    note.clear();
    if (options.log) {
      options.log(line);
    } else {
      std::fprintf(stderr, "%s\n", line);
    }
  }

  void Handle(const httplib::Request& request, httplib::Response& response) {
    if (!options.allow.Allows(request.remote_addr)) {
      return Refuse(response, 403, "Address " + request.remote_addr + " is not allowed");
    }
    std::string space;
    std::string token_prefix;  // "/TOKEN" when tokens are in use
    std::string path = request.path;
    if (store.HasTokens()) {
      PathParts parts = SplitFirstSegment(path);
      std::optional<std::string> found =
          parts.first_segment.empty() ? std::nullopt : store.SpaceOfToken(parts.first_segment);
      if (!found) return Refuse(response, 403, "Access token missing or not valid");
      space = std::move(*found);
      token_prefix = "/" + parts.first_segment;
      path = std::move(parts.rest);
    }
    const size_t slash = path.rfind('/');
    const std::string folder = path.substr(0, slash + 1);
    const std::string page = path.substr(slash + 1);

    if (page == "LoginKey.asp") {
      response.set_content(keys.Issue(), "text/plain");
      return;
    }
    if (page == "Login.asp") {
      const bool valid =
          keys.Validate(request.get_param_value("LoginKey"), request.get_param_value("LoginValue"));
      response.set_content(valid ? "Validated" : "Login refused", "text/plain");
      return;
    }
    if (const std::optional<RecordPage> record_page = RecordPageNamed(page)) {
      if (options.require_login && !keys.IsValidated(request.get_param_value("LoginKey"),
                                                     request.get_param_value("LoginValue"))) {
        return Refuse(response, 403, "Not logged in");
      }
      PageRequest page_request{*record_page,
                               space,
                               folder,
                               {request.params.begin(), request.params.end()},
                               request.body};
      const PageAnswer answer = AnswerRecordPage(store, page_request, options.limits);
      if (!answer.note.empty()) note = answer.note;
      response.status = answer.status;
      if (answer.document) {
        // Records go out as bytes: the storage reads the text whatever its
        // type, and the HTTP library would compress a text type for every
        // client that accepts compressed answers.
        response.set_content(answer.text, "application/octet-stream");
      } else if (answer.status >= 400) {
        Refuse(response, answer.status, answer.text);
      } else {
        response.set_content(answer.text, "text/plain; charset=utf-8");
      }
      return;
    }
    if (path == "/submit" && request.method == "POST") {
      PostedResult result = ParseResultForm(request.body, request.get_param_value("course"));
      result.space = space;
      store.AddResult(result);  // durable before the answer goes out
      response.set_content("success", "text/plain");
      return;
    }
    if (path == "/results" || path == "/results/") {
      response.set_content(ResultsPage(store.Results(space)), "text/html; charset=utf-8");
      return;
    }
    if (path == "/results.csv") {
      response.set_header("Content-Disposition", "attachment; filename=\"results.csv\"");
      response.set_content(ResultsCsv(store.Results(space)), "text/csv; charset=utf-8");
      return;
    }
    if (!options.courses_dir.empty() && (request.method == "GET" || request.method == "HEAD")) {
      const std::string host = request.get_header_value("Host");
      const CourseFile file =
          FindCourseFile(options.courses_dir, path, "http://" + host + token_prefix);
      if (file.status == 200) {
        response.set_content(file.body, file.content_type);
        return;
      }
      return Refuse(response, file.status, file.reason);
    }
    Refuse(response, 404, "No page " + path);
  }
};

Service::Service(RecordStore& store, ServiceOptions options)
    : impl_(std::make_unique<Impl>(store, std::move(options))) {
  Impl& impl = *impl_;
  const int threads = impl.options.threads;
  impl.http.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  impl.http.set_payload_max_length(impl.options.max_body);
  impl.http.set_read_timeout(30);
  impl.http.set_write_timeout(30);
  impl.http.set_keep_alive_timeout(2);
  impl.http.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    request_start = Clock::now();
    note.clear();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  impl.http.set_logger([&impl](const httplib::Request& request, const httplib::Response& response) {
    impl.Log(request, response);
  });
  impl.http.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
        std::string what = "request failed";
        try {
          std::rethrow_exception(error);
        } catch (const std::exception& e) {
          what = e.what();
        } catch (...) {
        }
        Impl::Refuse(response, 500, what);
      });
  auto handle = [&impl](const httplib::Request& request, httplib::Response& response) {
    impl.Handle(request, response);
  };
  impl.http.Get(".*", handle);
  // Bodies are read here rather than by the HTTP library, which refuses
  // form-typed posts over 8 KiB: the record library sends its documents
  // with the HTTP client's default form type, and a long exam's result
  // form is longer than that.
  impl.http.Post(".*", [&impl](const httplib::Request& request, httplib::Response& response,
                               const httplib::ContentReader& content) {
    httplib::Request whole = request;
    bool too_large = false;
    content([&](const char* data, size_t length) {
      if (whole.body.size() + length > impl.options.max_body) {
        too_large = true;
        return false;
      }
      whole.body.append(data, length);
      return true;
    });
    if (too_large) {
      return Impl::Refuse(
          response, 413,
          "Request too large (over " + std::to_string(impl.options.max_body) + " bytes)");
    }
    impl.Handle(whole, response);
  });
}

Service::~Service() = default;

int Service::Bind(const std::string& host, int port) {
  // The HTTP library listens with a queue of 5 waiting connections, built
  // into Debian's copy; a classroom that logs in at the bell overflows
  // that, and the connections beyond it are reset. The socket is kept as it
  // is made and its queue raised once it listens.
  int listening = -1;
  impl_->http.set_socket_options([&listening](socket_t sock) {
    httplib::default_socket_options(sock);
    listening = sock;
  });
  const int bound = port == 0                              ? impl_->http.bind_to_any_port(host)
                    : impl_->http.bind_to_port(host, port) ? port
                                                           : -1;
  if (bound > 0 && listening >= 0) ::listen(listening, SOMAXCONN);
  impl_->http.set_socket_options(httplib::default_socket_options);
  return bound;
}

bool Service::Run() { return impl_->http.listen_after_bind(); }

void Service::Stop() { impl_->http.stop(); }

}  // namespace norwin::server
