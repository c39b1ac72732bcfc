// The page server on its real socket, with a client that speaks the frames
// of wire.h as lumo's web-process extension does, from a thread of its own
// while the test's main loop serves.
#include "norwin/bridge/page_server.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "norwin/automation/error.h"
#include "norwin/bridge/external_object.h"
#include "norwin/bridge/packed_text.h"
#include "norwin/bridge/wire.h"

namespace norwin::bridge {
namespace {

namespace automation = ::norwin::automation;

class CookieHost final : public ExternalHost {
 public:
  std::string last_set;
  void Print() override {}
  void Stop() override {}
  void Minimize() override {}
  void Restore() override {}
  void ShellExec(std::string_view) override {}
  std::string GetCookie(std::string_view name) override { return "cookie " + std::string(name); }
  void AppendChip(std::string_view, std::string_view) override {}
  void ConfigureSearch(std::string_view, std::string_view, std::string_view) override {}
  std::string Search(std::string_view) override { return {}; }
  void Popup(std::string_view, int32_t, int32_t, int32_t, int32_t) override {}
  void Popup2(std::string_view, int32_t, int32_t, int32_t, int32_t) override {}
  void SetCookie(std::string_view name, std::string_view value) override {
    last_set = std::string(name) + "=" + std::string(value);
  }
  void PrintStr(std::string_view) override {}
  void DelCookie(std::string_view) override {}
  void Open(std::string_view) override {}
  void Save() override {}
  void SaveMsg(std::string_view) override {}
  void SetKey(std::string_view) override {}
};

// A blocking client of the server's socket.
class Client {
 public:
  explicit Client(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { close(fd_); }

  // Sends `frame`; the reply's body, or nullopt when the server hung up.
  std::optional<std::string> Exchange(const std::string& frame) {
    if (!connected_ || !Send(frame)) return std::nullopt;
    char header[kFrameHeader];
    if (!Read(header, sizeof header)) return std::nullopt;
    std::string body(FrameBodyLength(std::string_view(header, sizeof header)), '\0');
    if (!Read(body.data(), body.size())) return std::nullopt;
    return body;
  }
  bool Send(const std::string& frame) {
    return send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(frame.size());
  }

 private:
  bool Read(char* data, size_t size) {
    while (size > 0) {
      const ssize_t n = read(fd_, data, size);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }
  int fd_ = -1;
  bool connected_ = false;
};

CallReply ReplyOf(const std::optional<std::string>& body) {
  CallReply reply;
  EXPECT_TRUE(body.has_value());
  if (body) {
    EXPECT_TRUE(ReadPackedReply(*body, &reply).ok());
  }
  return reply;
}

class PageServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Result<std::unique_ptr<PageServer>> started =
        PageServer::Start([this](uint64_t page_id, std::string_view address) {
          opened_pages_.push_back(page_id);
          if (address.rfind("file:", 0) != 0) return automation::Ref<automation::Object>();
          return automation::Ref<automation::Object>(automation::MakeRef<ExternalObject>(host_));
        });
    ASSERT_TRUE(started.ok()) << started.message();
    server_ = std::move(started).value();
  }

  // Runs `client` on a thread while the main loop serves; returns when it
  // is done.
  void WithClient(const std::function<void(Client&)>& client) {
    std::atomic<bool> done{false};
    std::thread thread([&] {
      Client connection(server_->socket_path());
      client(connection);
      done = true;
      g_main_context_wakeup(nullptr);
    });
    while (!done) g_main_context_iteration(nullptr, TRUE);
    thread.join();
    // Frames sent without reply may still wait in the socket.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  }

  std::string Hello(std::string_view token) {
    std::string frame;
    AppendHelloFrame(token, &frame);
    return frame;
  }

  std::shared_ptr<CookieHost> host_ = std::make_shared<CookieHost>();
  std::vector<uint64_t> opened_pages_;
  std::unique_ptr<PageServer> server_;
};

TEST_F(PageServerTest, ServesTrustedDocumentsOnlyAfterTheToken) {
  WithClient([&](Client& client) {
    // A wrong token ends the connection.
    EXPECT_FALSE(client.Exchange(Hello("not the token")).has_value());
  });
  WithClient([&](Client& client) {
    // Nothing before the hello.
    std::string open;
    AppendContextOpenFrame(1, "file:///x.htm", &open);
    EXPECT_FALSE(client.Exchange(open).has_value());
  });
  EXPECT_TRUE(opened_pages_.empty());

  WithClient([&](Client& client) {
    ASSERT_EQ(client.Exchange(Hello(server_->token())), std::optional<std::string>(""));
    std::string open;
    AppendContextOpenFrame(41, "http://elsewhere.example/page.htm", &open);
    CallReply refused = ReplyOf(client.Exchange(open));
    EXPECT_FALSE(refused.ok);

    open.clear();
    AppendContextOpenFrame(42, "file:///course/start.htm", &open);
    CallReply opened = ReplyOf(client.Exchange(open));
    ASSERT_TRUE(opened.ok);
    const auto context = static_cast<uint32_t>(opened.values.at(0).i4);

    std::string frame;
    CallRequest get;
    get.op = Op::kExternalGet;
    AppendCallFrame(context, get, &frame);
    CallReply external = ReplyOf(client.Exchange(frame));
    ASSERT_TRUE(external.ok);
    const Handle handle = external.values.at(0).object.handle;

    CallRequest set;
    set.op = Op::kObjectInvoke;
    set.handle = handle;
    set.name = "setCookie";
    set.flags = kFlagMethod;
    set.args = {Value::String("lesson"), Value::String("done")};
    frame.clear();
    AppendCallFrame(context, set, &frame);
    EXPECT_TRUE(ReplyOf(client.Exchange(frame)).ok);

    set.name = "GetCookie";
    set.args = {};
    frame.clear();
    AppendCallFrame(context, set, &frame);
    CallReply bad = ReplyOf(client.Exchange(frame));
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.error.number, automation::DISP_E_BADPARAMCOUNT);

    // A call of a context that does not exist fails without ending the
    // connection.
    frame.clear();
    AppendCallFrame(context + 100, get, &frame);
    CallReply gone = ReplyOf(client.Exchange(frame));
    EXPECT_FALSE(gone.ok);
    EXPECT_EQ(gone.error.number, kErrBridgeGone);
  });
  EXPECT_EQ(host_->last_set, "lesson=done");
  EXPECT_EQ(opened_pages_, (std::vector<uint64_t>{41, 42}));
  // The connection went, and its documents with it.
  EXPECT_EQ(server_->context_count(), 0u);
}

TEST_F(PageServerTest, DocumentsReleaseTheirObjectsWhenTheyOrTheirPagesGo) {
  uint32_t first = 0;
  uint32_t second = 0;
  std::unique_ptr<Client> kept;
  std::atomic<bool> done{false};
  // One connection across several turns of the main loop.
  std::thread thread([&] {
    kept = std::make_unique<Client>(server_->socket_path());
    kept->Exchange(Hello(server_->token()));
    for (uint32_t* context : {&first, &second}) {
      std::string open;
      AppendContextOpenFrame(context == &first ? 7 : 8, "file:///a.htm", &open);
      *context = static_cast<uint32_t>(ReplyOf(kept->Exchange(open)).values.at(0).i4);
    }
    std::string close;
    AppendContextCloseFrame(first, &close);
    kept->Send(close);
    done = true;
    g_main_context_wakeup(nullptr);
  });
  while (!done) g_main_context_iteration(nullptr, TRUE);
  thread.join();
  while (server_->context_count() != 1) g_main_context_iteration(nullptr, TRUE);
  EXPECT_EQ(server_->context_count(), 1u);

  server_->ClosePage(8);
  EXPECT_EQ(server_->context_count(), 0u);
  WithClient([&](Client&) {});
  std::thread after([&] {
    std::string frame;
    CallRequest get;
    get.op = Op::kExternalGet;
    AppendCallFrame(second, get, &frame);
    CallReply gone = ReplyOf(kept->Exchange(frame));
    EXPECT_FALSE(gone.ok);
    EXPECT_EQ(gone.error.number, kErrBridgeGone);
    done = false;
    g_main_context_wakeup(nullptr);
  });
  while (done) g_main_context_iteration(nullptr, TRUE);
  after.join();
  kept.reset();
}

}  // namespace
}  // namespace norwin::bridge
