#include "norwin/datalayer/server_request.h"

#include <atomic>
#include <utility>

#include "norwin/platform/codepage.h"

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

std::string ResponseText(const platform::HttpResponse& response) {
  if (platform::IsValidUtf8(response.body)) return response.body;
  return platform::Cp1252ToUtf8(response.body);
}

}  // namespace norwin::datalayer
