// Requests to the server pages that keep records and logins.
//
// Every exchange is one synchronous POST through the system layer's HTTP
// client, bounded by the time limits below: a server that cannot be reached
// or never answers makes the call fail after that time instead of freezing
// the page that waits for it. An answer whose HTTP status is not 2xx is a
// failed request wherever it comes (Succeeded): an error page is never a
// record, an acknowledgement or a listing, whatever its text.
//
// May be called from any thread; the limits are shared by the process.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "norwin/automation/error.h"
#include "norwin/platform/http.h"
#include "norwin/platform/status.h"

namespace norwin::datalayer {

// The HRESULT of a server request that got no answer (the server cannot be
// reached, refuses the connection or stays silent past the time limit), as
// the request objects of the original platform report it.
inline constexpr automation::HResult kServerNotReached = automation::MakeHResult(0x800C0005);

// The HRESULT of a request the server answered with an HTTP status other
// than 2xx, where the caller reports failures as errors (listings).
inline constexpr automation::HResult kServerFailed = automation::MakeHResult(0x800C0008);

// How long a server may take: to accept the connection, and for the whole
// exchange. Generous enough for a large record over a slow network.
struct ServerTimeLimits {
  std::chrono::milliseconds connect{15'000};
  std::chrono::milliseconds total{60'000};
};

ServerTimeLimits GetServerTimeLimits();
// Replaces the limits for the whole process (tests shorten them).
void SetServerTimeLimitsForTesting(ServerTimeLimits limits);

// POSTs `body` (none when empty) to `url` without extra headers. Fails with
// the HTTP layer's message, which names the address, when no answer comes.
[[nodiscard]] Result<platform::HttpResponse> PostToServer(std::string url, std::string body = {});

// The same, raising the failure as AutomationError kServerNotReached with
// that message, for callers that let it reach the page script.
platform::HttpResponse PostToServerOrThrow(std::string url, std::string body = {});

// Whether `response` is a success: its HTTP status is 2xx.
bool Succeeded(const platform::HttpResponse& response);

// The answer's text as UTF-8, as a browser's request object gives it: a
// leading byte-order mark is dropped (UTF-16 after one is decoded); then the
// body as it is when it is UTF-8, else read as Windows-1252, the code page of
// the servers that answer in 8-bit text.
std::string ResponseText(const platform::HttpResponse& response);

}  // namespace norwin::datalayer
