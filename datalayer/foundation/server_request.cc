#include "norwin/datalayer/server_request.h"

#include <atomic>
#include <utility>

#include "norwin/platform/codepage.h"
#include "norwin/platform/unicode.h"

namespace norwin::datalayer {

namespace {

std::atomic<int64_t> connect_limit_ms{ServerTimeLimits{}.connect.count()};
std::atomic<int64_t> total_limit_ms{ServerTimeLimits{}.total.count()};

}  // namespace

ServerTimeLimits GetServerTimeLimits() {
  return ServerTimeLimits{std::chrono::milliseconds(connect_limit_ms.load()),
                          std::chrono::milliseconds(total_limit_ms.load())};
}

void SetServerTimeLimitsForTesting(ServerTimeLimits limits) {
  connect_limit_ms.store(limits.connect.count());
  total_limit_ms.store(limits.total.count());
}

Result<platform::HttpResponse> PostToServer(std::string url, std::string body) {
  const ServerTimeLimits limits = GetServerTimeLimits();
  platform::HttpRequest request;
  request.method = "POST";
  request.url = std::move(url);
  request.body = std::move(body);
  request.connect_timeout = limits.connect;
  request.total_timeout = limits.total;
  return platform::DefaultHttpClient().Send(request);
}

platform::HttpResponse PostToServerOrThrow(std::string url, std::string body) {
  Result<platform::HttpResponse> response = PostToServer(std::move(url), std::move(body));
  if (!response.ok()) throw automation::AutomationError(kServerNotReached, response.message());
  return std::move(response).value();
}

bool Succeeded(const platform::HttpResponse& response) {
  return response.status >= 200 && response.status <= 299;
}

std::string ResponseText(const platform::HttpResponse& response) {
  std::string_view body = response.body;
  // A byte-order mark says how the text is written and is no part of it:
  // "\xEF\xBB\xBFsuccess" is the reply "success".
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  if (body.starts_with("\xFF\xFE") || body.starts_with("\xFE\xFF")) {
    const platform::ByteOrder order =
        body[0] == '\xFF' ? platform::ByteOrder::kLittleEndian : platform::ByteOrder::kBigEndian;
    return platform::DecodeUtf16(body.substr(2), order).text;
  }
  if (platform::IsValidUtf8(body)) return std::string(body);
  return platform::Cp1252ToUtf8(body);
}

}  // namespace norwin::datalayer
