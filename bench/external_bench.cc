// One window.external call over the bridge's private socket, as lumo's
// web-process extension makes it (a Call frame of GetCookie("lesson") to the
// page server, which carries it out in its apartment and answers), beside a
// bare Unix socket round trip of the same frame sizes to a thread that only
// reads and answers (scripts/bench --compare prints the ratio). Both run
// without a window: what the page's engine adds is page_bridge_bench's.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "norwin/bridge/external_object.h"
#include "norwin/bridge/packed_text.h"
#include "norwin/bridge/page_server.h"
#include "norwin/bridge/wire.h"

namespace {

using namespace norwin::bridge;
using norwin::Result;
namespace automation = norwin::automation;

// A window whose cookie is always the same; nothing else is called.
class BenchHost final : public ExternalHost {
 public:
  void Print() override {}
  void Stop() override {}
  void Minimize() override {}
  void Restore() override {}
  void ShellExec(std::string_view) override {}
  std::string GetCookie(std::string_view) override { return "done"; }
  void AppendChip(std::string_view, std::string_view) override {}
  void ConfigureSearch(std::string_view, std::string_view, std::string_view) override {}
  std::string Search(std::string_view) override { return {}; }
  void Popup(std::string_view, int32_t, int32_t, int32_t, int32_t) override {}
  void Popup2(std::string_view, int32_t, int32_t, int32_t, int32_t) override {}
  void SetCookie(std::string_view, std::string_view) override {}
  void PrintStr(std::string_view) override {}
  void DelCookie(std::string_view) override {}
  void Open(std::string_view) override {}
  void Save() override {}
  void SaveMsg(std::string_view) override {}
  void SetKey(std::string_view) override {}
};

bool WriteAll(int fd, const std::string& bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool ReadAll(int fd, char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = read(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// A frame's body, read whole; nullopt when the peer hung up.
std::optional<std::string> ReadFrameBody(int fd) {
  char header[kFrameHeader];
  if (!ReadAll(fd, header, sizeof header)) return std::nullopt;
  std::string body(FrameBodyLength(std::string_view(header, sizeof header)), '\0');
  if (!ReadAll(fd, body.data(), body.size())) return std::nullopt;
  return body;
}

std::optional<std::string> Exchange(int fd, const std::string& frame) {
  if (!WriteAll(fd, frame)) return std::nullopt;
  return ReadFrameBody(fd);
}

int Connect(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The page server, handing every document a window.external of a BenchHost.
Result<std::unique_ptr<PageServer>> StartServer() {
  auto host = std::make_shared<BenchHost>();
  return PageServer::Start(
      [host](uint64_t, std::string_view) -> automation::Ref<automation::Object> {
        return automation::MakeRef<ExternalObject>(host);
      });
}

// A connection greeted and a document opened, with its window.external's
// handle: what the extension holds before page script's first call.
struct Document {
  int fd = -1;
  uint32_t context = 0;
  Handle external = kNoHandle;
};

std::optional<Document> OpenDocument(const PageServer& server) {
  Document document;
  document.fd = Connect(server.socket_path());
  if (document.fd < 0) return std::nullopt;
  std::string frame;
  AppendHelloFrame(server.token(), &frame);
  if (Exchange(document.fd, frame) != std::optional<std::string>("")) return std::nullopt;
  frame.clear();
  AppendContextOpenFrame(1, "file:///course/start.htm", &frame);
  CallReply opened;
  const std::optional<std::string> body = Exchange(document.fd, frame);
  if (!body || !ReadPackedReply(*body, &opened).ok() || !opened.ok) return std::nullopt;
  document.context = static_cast<uint32_t>(opened.values.at(0).i4);
  frame.clear();
  CallRequest get;
  get.op = Op::kExternalGet;
  AppendCallFrame(document.context, get, &frame);
  CallReply external;
  const std::optional<std::string> got = Exchange(document.fd, frame);
  if (!got || !ReadPackedReply(*got, &external).ok() || !external.ok) return std::nullopt;
  document.external = external.values.at(0).object.handle;
  return document;
}

// The frame of window.external.GetCookie("lesson").
std::string CookieCallFrame(const Document& document) {
  std::string frame;
  CallRequest request;
  request.op = Op::kObjectInvoke;
  request.handle = document.external;
  request.name = "GetCookie";
  request.flags = kFlagMethod;
  request.args = {Value::String("lesson")};
  AppendCallFrame(document.context, request, &frame);
  return frame;
}

void BM_ExternalRoundTrip(benchmark::State& state) {
  Result<std::unique_ptr<PageServer>> server = StartServer();
  if (!server.ok()) return state.SkipWithError(server.message().c_str());
  const std::optional<Document> document = OpenDocument(**server);
  if (!document) return state.SkipWithError("the page server did not open the document");
  const std::string call = CookieCallFrame(*document);
  for (auto _ : state) {
    const std::optional<std::string> reply = Exchange(document->fd, call);
    if (!reply) return state.SkipWithError("the page server hung up");
    benchmark::DoNotOptimize(reply->data());
  }
  close(document->fd);
}
BENCHMARK(BM_ExternalRoundTrip)->UseRealTime();

// The baseline: the same request frame over a Unix socket to a thread that
// reads it whole and writes back a frame as large as the server's answer.
void BM_BareSocketRoundTrip(benchmark::State& state) {
  // The answer's size, from the real server once.
  size_t reply_size = 0;
  std::string request;
  {
    Result<std::unique_ptr<PageServer>> server = StartServer();
    if (!server.ok()) return state.SkipWithError(server.message().c_str());
    const std::optional<Document> document = OpenDocument(**server);
    if (!document) return state.SkipWithError("the page server did not open the document");
    request = CookieCallFrame(*document);
    const std::optional<std::string> reply = Exchange(document->fd, request);
    close(document->fd);
    if (!reply) return state.SkipWithError("the page server hung up");
    reply_size = reply->size();
  }
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    return state.SkipWithError("no socket pair");
  std::string answer;
  AppendReplyFrame(std::string(reply_size, 'x'), &answer);
  std::thread echo([fd = fds[1], &answer] {
    while (ReadFrameBody(fd)) {
      if (!WriteAll(fd, answer)) break;
    }
  });
  for (auto _ : state) {
    const std::optional<std::string> reply = Exchange(fds[0], request);
    if (!reply) {
      state.SkipWithError("the echo thread hung up");
      break;
    }
    benchmark::DoNotOptimize(reply->data());
  }
  shutdown(fds[0], SHUT_RDWR);
  echo.join();
  close(fds[0]);
  close(fds[1]);
}
BENCHMARK(BM_BareSocketRoundTrip)->UseRealTime();

}  // namespace
