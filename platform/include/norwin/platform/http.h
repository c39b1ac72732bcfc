// HTTP requests, as the programs' browser-style request objects make them:
// synchronous, redirects followed, every exchange bounded in time and size,
// so that a server that never answers gives an error instead of freezing the
// program.
//
// HttpClient is the interface; the real one is libcurl's (MakeCurlHttpClient).
// Tests may replace the process's client with SetHttpClientForTesting.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "norwin/platform/status.h"

namespace norwin::platform {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

inline constexpr std::chrono::milliseconds kDefaultConnectTimeout{10'000};
inline constexpr std::chrono::milliseconds kDefaultTotalTimeout{60'000};
inline constexpr size_t kDefaultMaxResponseBytes = size_t{64} << 20;  // 64 MiB

struct HttpRequest {
  std::string method = "GET";  // GET, POST, HEAD, PUT, DELETE, ...
  // An http: or https: address. Characters a URL may not hold as they are
  // (blanks, control characters, bytes beyond ASCII, "<>\"`{}|\\^") are sent
  // percent-encoded, as a browser does; everything else, including "%",
  // goes as written.
  std::string url;
  // Sent as given, in order. The client adds only Host, Content-Length,
  // Accept, Accept-Encoding, User-Agent (below) and Cookie (cookies this
  // client received earlier, as a browser keeps them for its session): a POST
  // without a Content-Type header goes without one.
  HttpHeaders headers;
  std::string body;        // sent for every method but GET and HEAD
  std::string user_agent;  // empty: no User-Agent header
  // Limits on connecting and on the whole exchange, redirects included.
  // Zero or less means the default: no exchange goes without a limit.
  std::chrono::milliseconds connect_timeout = kDefaultConnectTimeout;
  std::chrono::milliseconds total_timeout = kDefaultTotalTimeout;
  // A larger (decoded) response body is an error.
  size_t max_response_bytes = kDefaultMaxResponseBytes;
};

struct HttpResponse {
  long status = 0;          // of the last response, after redirects
  std::string status_text;  // its reason phrase ("OK"); empty over HTTP/2
  HttpHeaders headers;      // its headers, in order received
  std::string body;         // decoded when the server compressed it
  std::string url;          // the address that answered, after redirects

  // The value of the first header named `name` (without regard to case);
  // empty when there is none.
  std::string_view Header(std::string_view name) const;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // Sends `request` and waits for the whole response. Any answer with a
  // status line is a response, whatever its status (404 and 500 included).
  // Fails with a readable message that names the address (without its
  // query) when there is no answer: "cannot connect to
  // http://127.0.0.1:1/x: Connection refused", "no answer from ... within
  // 2 seconds", "the answer from ... is larger than 64 MiB", and so on.
  // Safe to call from several threads; calls are then served one at a time.
  [[nodiscard]] virtual Result<HttpResponse> Send(const HttpRequest& request) = 0;
};

// libcurl: one connection cache per client (kept-alive connections are
// reused), no proxy taken from the environment, http and https only,
// redirects followed (up to 20) as a browser follows them.
std::unique_ptr<HttpClient> MakeCurlHttpClient();

// The process's client: libcurl's unless a test replaced it.
HttpClient& DefaultHttpClient();

// Replaces the process's client; nullptr restores libcurl's. Not to be called
// while a request is under way.
void SetHttpClientForTesting(std::unique_ptr<HttpClient> client);

}  // namespace norwin::platform
