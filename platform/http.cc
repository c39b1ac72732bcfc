#include "norwin/platform/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <mutex>

#include "norwin/platform/case_fold.h"
#include "norwin/platform/clock.h"

namespace norwin::platform {

namespace {

// curl_global_init is not thread-safe in every libcurl build and must run
// once before any handle exists; the process never calls the cleanup, as
// other libraries in it may use libcurl too.
CURLcode GlobalInit() {
  static std::once_flag once;
  static CURLcode result = CURLE_OK;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result;
}

std::string_view TrimmedBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

// The URL as a browser puts it on the wire: characters that may not stand in
// a URL as they are get percent-encoded (record file names with blanks or
// accents, say); "%" and everything else stay as written.
std::string WireUrl(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || std::strchr("\"<>`{}|\\^", c)) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

// The address as messages show it: without user information, query and
// fragment, which may carry passwords or login digests.
std::string DisplayUrl(std::string_view url) {
  url = url.substr(0, url.find_first_of("?#"));
  const size_t scheme = url.find("://");
  if (scheme != std::string_view::npos) {
    const size_t authority = scheme + 3;
    const size_t at = url.find('@', authority);
    if (at != std::string_view::npos && at < url.find('/', authority)) {
      return std::string(url.substr(0, authority)) + std::string(url.substr(at + 1));
    }
  }
  return std::string(url);
}

std::string Seconds(std::chrono::milliseconds limit) {
  const long long ms = limit.count();
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + (ms == 1000 ? " second" : " seconds");
  char buffer[32];
  snprintf(buffer, sizeof buffer, "%.1f seconds", static_cast<double>(ms) / 1000.0);
  return buffer;
}

std::string Size(size_t bytes) {
  if (bytes >= (size_t{1} << 20) && bytes % (size_t{1} << 20) == 0)
    return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}

// "GET", "post" and the like as the standard method names; other methods
// exactly as given (HTTP methods are case-sensitive).
std::string NormalizedMethod(std::string_view method) {
  for (std::string_view standard : {"GET", "POST", "HEAD", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
    if (EqualsIgnoringCase(method, standard)) return std::string(standard);
  }
  return std::string(method);
}

bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || std::strchr("\"(),/:;<=>?@[\\]{}", c)) return false;
  }
  return true;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// What the callbacks collect during one exchange.
struct Transfer {
  HttpResponse* response;
  size_t max_body;
  bool too_large = false;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  std::string_view line(data, bytes);
  HttpResponse& response = *transfer->response;
  if (line.starts_with("HTTP/")) {
    // A new response begins (after a redirect or an interim 1xx): only the
    // last one is the caller's.
    response.headers.clear();
    response.body.clear();
    response.status_text.clear();
    const size_t code = line.find(' ');
    const size_t reason = code == std::string_view::npos ? code : line.find(' ', code + 1);
    if (reason != std::string_view::npos)
      response.status_text = TrimmedBlanks(line.substr(reason + 1));
    return bytes;
  }
  if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
    // An obsolete folded continuation of the previous header.
    if (!response.headers.empty()) {
      std::string& value = response.headers.back().second;
      value += ' ';
      value += TrimmedBlanks(line);
    }
    return bytes;
  }
  const size_t colon = line.find(':');
  if (colon != std::string_view::npos && colon > 0) {
    response.headers.emplace_back(std::string(line.substr(0, colon)),
                                  std::string(TrimmedBlanks(line.substr(colon + 1))));
  }
  return bytes;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  std::string& body = transfer->response->body;
  if (bytes > transfer->max_body - std::min(body.size(), transfer->max_body)) {
    transfer->too_large = true;
    return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
  }
  body.append(data, bytes);
  return bytes;
}

// Called by libcurl during a transfer, at least once a second: a non-zero
// answer ends it, which it does once the program is closing.
int OnProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return WaitsEnded() ? 1 : 0;
}

class CurlHttpClient : public HttpClient {
 public:
  CurlHttpClient() {
    if (GlobalInit() != CURLE_OK) return;
    handle_ = curl_easy_init();
    if (!handle_) return;
    // What stays the same for every request is set once. The handle is never
    // reset: libcurl keeps its connections and cookies across requests, and
    // Send sets every option that varies, so none carries over.
    CURL* h = handle_;
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_);
    // No proxy from http_proxy and friends: the programs talk to the
    // servers their settings name, never to one the environment slipped in.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(h, CURLOPT_AUTOREFERER, 1L);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    // Cookies in memory, for this client only, as a browser keeps a session.
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  }
  ~CurlHttpClient() override {
    if (handle_) curl_easy_cleanup(handle_);
  }
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  Result<HttpResponse> Send(const HttpRequest& request) override {
    const std::string url = WireUrl(request.url);
    const std::string shown = DisplayUrl(url);
    const std::string method = NormalizedMethod(request.method);
    if (!IsToken(method)) return Status::Error("invalid HTTP method \"" + request.method + "\"");
    for (const auto& [name, value] : request.headers) {
      if (!IsToken(name) || HasLineBreak(value))
        return Status::Error("invalid HTTP header \"" + name + "\" for " + shown);
    }
    if (HasLineBreak(request.user_agent))
      return Status::Error("invalid HTTP user agent for " + shown);

    std::lock_guard lock(mutex_);
    if (!handle_) return Status::Error("HTTP is not available: libcurl could not be initialised");
    if (WaitsEnded()) return Status::Error("no request to " + shown + ": the program is closing");

    HttpResponse response;
    Transfer transfer{&response, request.max_response_bytes};
    error_[0] = '\0';
    const auto connect_limit =
        request.connect_timeout.count() > 0 ? request.connect_timeout : kDefaultConnectTimeout;
    const auto total_limit =
        request.total_timeout.count() > 0 ? request.total_timeout : kDefaultTotalTimeout;

    CURL* h = handle_;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connect_limit.count()));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(total_limit.count()));
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<size_t>(
                         request.max_response_bytes, std::numeric_limits<curl_off_t>::max())));
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_USERAGENT,
                     request.user_agent.empty() ? nullptr : request.user_agent.c_str());

    const bool sends_body = method != "GET" && method != "HEAD";
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, nullptr);
    if (!sends_body) {
      curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
      if (method == "HEAD") curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else {
      // POST through CURLOPT_POST, so that a 301/302/303 answer turns it into
      // a GET as browsers do; other methods keep their name.
      curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
      curl_easy_setopt(h, CURLOPT_POST, 1L);
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(request.body.size()));
      curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
      if (method != "POST") curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    curl_slist* headers = nullptr;
    bool has_content_type = false;
    bool has_expect = false;
    for (const auto& [name, value] : request.headers) {
      has_content_type |= EqualsIgnoringCase(name, "Content-Type");
      has_expect |= EqualsIgnoringCase(name, "Expect");
      // "Name;" is libcurl's way of sending a header with an empty value.
      const std::string line = value.empty() ? name + ";" : name + ": " + value;
      headers = curl_slist_append(headers, line.c_str());
    }
    // libcurl would add a form Content-Type of its own and an
    // "Expect: 100-continue" that stalls servers which ignore it.
    if (sends_body && !has_content_type) headers = curl_slist_append(headers, "Content-Type:");
    if (sends_body && !has_expect) headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);

    const CURLcode code = curl_easy_perform(h);
    // Nothing of this request may be reached from the handle afterwards.
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);

    char* effective = nullptr;
    curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective);
    response.url = effective ? effective : url;
    if (code != CURLE_OK) {
      return Status::Error(ErrorMessage(code, transfer, DisplayUrl(response.url), connect_limit,
                                        total_limit, request.max_response_bytes));
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    return response;
  }

 private:
  std::string ErrorMessage(CURLcode code, const Transfer& transfer, const std::string& url,
                           std::chrono::milliseconds connect_limit,
                           std::chrono::milliseconds total_limit, size_t max_bytes) {
    const std::string detail = error_[0] ? error_ : curl_easy_strerror(code);
    long os_error = 0;
    curl_easy_getinfo(handle_, CURLINFO_OS_ERRNO, &os_error);
    curl_off_t connected_after = 0;
    curl_easy_getinfo(handle_, CURLINFO_CONNECT_TIME_T, &connected_after);
    switch (code) {
      case CURLE_COULDNT_CONNECT:
        return "cannot connect to " + url + ": " +
               (os_error ? std::strerror(static_cast<int>(os_error)) : detail);
      case CURLE_COULDNT_RESOLVE_HOST:
        return "cannot connect to " + url + ": host name not found";
      case CURLE_OPERATION_TIMEDOUT:
        if (connected_after == 0)
          return "cannot connect to " + url + ": no connection within " +
                 Seconds(std::min(connect_limit, total_limit));
        return "no answer from " + url + " within " + Seconds(total_limit);
      case CURLE_FILESIZE_EXCEEDED:
        return "the answer from " + url + " is larger than " + Size(max_bytes);
      case CURLE_WRITE_ERROR:
        if (transfer.too_large)
          return "the answer from " + url + " is larger than " + Size(max_bytes);
        return "cannot receive the answer from " + url + ": " + detail;
      case CURLE_URL_MALFORMAT:
      case CURLE_UNSUPPORTED_PROTOCOL:
        return "invalid address " + url + ": " + detail;
      case CURLE_TOO_MANY_REDIRECTS:
        return "too many redirects from " + url;
      case CURLE_ABORTED_BY_CALLBACK:
        return "no answer from " + url + ": the program is closing";
      case CURLE_GOT_NOTHING:
        return "no answer from " + url + ": the server closed the connection";
      case CURLE_WEIRD_SERVER_REPLY:
        return "invalid answer from " + url + ": " + detail;
      default:
        return "HTTP request to " + url + " failed: " + detail;
    }
  }

  std::mutex mutex_;  // one exchange at a time on the one handle
  CURL* handle_ = nullptr;
  char error_[CURL_ERROR_SIZE] = "";
};

struct DefaultState {
  std::mutex mutex;
  std::unique_ptr<HttpClient> client;
};

DefaultState& State() {
  static DefaultState* state = new DefaultState();  // never destroyed, like the prompts
  return *state;
}

}  // namespace

std::string_view HttpResponse::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoringCase(key, name)) return value;
  }
  return {};
}

std::unique_ptr<HttpClient> MakeCurlHttpClient() { return std::make_unique<CurlHttpClient>(); }

HttpClient& DefaultHttpClient() {
  DefaultState& state = State();
  std::lock_guard lock(state.mutex);
  if (!state.client) state.client = MakeCurlHttpClient();
  return *state.client;
}

void SetHttpClientForTesting(std::unique_ptr<HttpClient> client) {
  DefaultState& state = State();
  std::lock_guard lock(state.mutex);
  state.client = std::move(client);
}

}  // namespace norwin::platform
