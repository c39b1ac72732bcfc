// The page server on its real socket, with a client that speaks the frames
// of wire.h as lumo's web-process extension does, from a thread of its own,
// while the server's apartment serves.
#include "norwin/bridge/page_server.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "norwin/automation/error.h"
#include "norwin/bridge/external_object.h"
#include "norwin/bridge/packed_text.h"
#include "norwin/bridge/wire.h"
#include "support/temp_prefix.h"

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
  // "huge": an answer larger than a frame; "wait": holds the call until
  // `release` is set.
  std::string GetCookie(std::string_view name) override {
    if (name == "huge") return std::string(kMaxFrameBody + 16, 'x');
    if (name == "wait") {
      std::unique_lock lock(mutex);
      thread = std::this_thread::get_id();
      waiting = true;
      changed.notify_all();
      changed.wait(lock, [&] { return release; });
    }
    return "cookie " + std::string(name);
  }
  std::mutex mutex;
  std::condition_variable changed;
  bool waiting = false;
  bool release = false;
  std::thread::id thread;
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
  // Whether the server closes the connection (waits until it does; a
  // close with unread data resets it).
  bool WaitClosed() {
    char byte;
    return read(fd_, &byte, 1) <= 0;
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

// Waits until `done` holds; the server's apartment works meanwhile.
template <typename Done>
void WaitUntil(Done&& done) {
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

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
  WaitUntil([&] { return server_->context_count() == 0; });
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
  WaitUntil([&] { return server_->context_count() == 1; });

  server_->ClosePage(8);
  WaitUntil([&] { return server_->context_count() == 0; });
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

// Opens a document of page `page_id` and fetches its window.external.
struct Document {
  uint32_t context = 0;
  Handle external = kNoHandle;
};
Document OpenDocument(Client& client, const std::string& token, uint64_t page_id) {
  std::string frame;
  AppendHelloFrame(token, &frame);
  EXPECT_EQ(client.Exchange(frame), std::optional<std::string>(""));
  frame.clear();
  AppendContextOpenFrame(page_id, "file:///course/start.htm", &frame);
  Document document;
  document.context = static_cast<uint32_t>(ReplyOf(client.Exchange(frame)).values.at(0).i4);
  CallRequest get;
  get.op = Op::kExternalGet;
  frame.clear();
  AppendCallFrame(document.context, get, &frame);
  document.external = ReplyOf(client.Exchange(frame)).values.at(0).object.handle;
  return document;
}

CallReply GetCookie(Client& client, const Document& document, const std::string& name) {
  CallRequest call;
  call.op = Op::kObjectInvoke;
  call.handle = document.external;
  call.name = "GetCookie";
  call.flags = kFlagMethod;
  call.args = {Value::String(name)};
  std::string frame;
  AppendCallFrame(document.context, call, &frame);
  return ReplyOf(client.Exchange(frame));
}

TEST_F(PageServerTest, StrangersAreClosedSoonHoldLittleAndAreFew) {
  const std::string& path = server_->socket_path();
  {
    Client silent(path);  // closed once its time to show the token is over
    EXPECT_TRUE(silent.WaitClosed());
  }
  {
    Client flood(path);  // more than a greeting before the token
    std::string frame;
    AppendHelloFrame(std::string(PageServer::kMaxGreetingBytes - 16, 'a'), &frame);
    frame += std::string(2 * PageServer::kMaxGreetingBytes, 'b');
    flood.Send(frame);
    EXPECT_TRUE(flood.WaitClosed());
  }
  {
    Client large(path);  // announces a frame no greeting needs
    large.Send(std::string("\x00\x00\x10\x00", 4));
    EXPECT_TRUE(large.WaitClosed());
  }
  WaitUntil([&] { return server_->connection_count() == 0; });

  std::vector<std::unique_ptr<Client>> idle;
  for (size_t i = 0; i < PageServer::kMaxUngreeted; ++i)
    idle.push_back(std::make_unique<Client>(path));
  WaitUntil([&] { return server_->connection_count() == PageServer::kMaxUngreeted; });
  {
    Client late(path);  // one stranger too many, token or not
    EXPECT_FALSE(late.Exchange(Hello(server_->token())).has_value());
  }
  WaitUntil([&] { return server_->connection_count() == 0; });
  Client welcome(path);
  EXPECT_EQ(welcome.Exchange(Hello(server_->token())), std::optional<std::string>(""));
}

TEST_F(PageServerTest, AnAnswerTooLargeForAFrameFailsThatCallAlone) {
  Client client(server_->socket_path());
  const Document document = OpenDocument(client, server_->token(), 5);
  const CallReply huge = GetCookie(client, document, "huge");
  EXPECT_FALSE(huge.ok);
  EXPECT_EQ(huge.error.number, kErrOutOfMemory);
  EXPECT_NE(huge.error.description.find("too large"), std::string::npos);
  // The page keeps its bridge and its objects.
  const CallReply after = GetCookie(client, document, "small");
  ASSERT_TRUE(after.ok);
  EXPECT_EQ(after.values.at(0).text, "cookie small");
}

TEST_F(PageServerTest, CallsRunInTheApartmentAndAClosedPageGoesAfterItsCall) {
  // The test's thread never runs a main loop: the apartment serves alone.
  Client client(server_->socket_path());
  const Document document = OpenDocument(client, server_->token(), 9);
  std::optional<CallReply> waited;
  std::thread caller([&] { waited = GetCookie(client, document, "wait"); });
  {
    std::unique_lock lock(host_->mutex);
    host_->changed.wait(lock, [&] { return host_->waiting; });
  }
  EXPECT_NE(host_->thread, std::this_thread::get_id());
  // Closing the page while its call waits releases its objects once the
  // call has answered.
  server_->ClosePage(9);
  EXPECT_EQ(server_->context_count(), 1u);
  {
    std::lock_guard lock(host_->mutex);
    host_->release = true;
  }
  host_->changed.notify_all();
  caller.join();
  ASSERT_TRUE(waited && waited->ok);
  EXPECT_EQ(waited->values.at(0).text, "cookie wait");
  WaitUntil([&] { return server_->context_count() == 0; });
  EXPECT_EQ(GetCookie(client, document, "x").error.number, kErrBridgeGone);
}

TEST(PageServerFolderTest, LivesUnderTheRuntimeFolderAndRemovesFoldersOfEndedProcesses) {
  testing::TempDir runtime;
  testing::ScopedEnv runtime_env("XDG_RUNTIME_DIR", runtime.path().string());
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
  const std::filesystem::path dead =
      runtime.path() / ("lumo-bridge-" + std::to_string(ended) + "-AbCdEf");
  const std::filesystem::path living =
      runtime.path() / ("lumo-bridge-" + std::to_string(getppid()) + "-GhIjKl");
  const std::filesystem::path other = runtime.path() / "lumo-bridge-notapid-MnOpQr";
  for (const auto& folder : {dead, living, other}) {
    std::filesystem::create_directory(folder);
    std::ofstream(folder / "bridge.sock") << "";
  }

  Result<std::unique_ptr<PageServer>> server = PageServer::Start(
      [](uint64_t, std::string_view) { return automation::Ref<automation::Object>(); });
  ASSERT_TRUE(server.ok()) << server.message();
  const std::filesystem::path socket = (*server)->socket_path();
  EXPECT_EQ(socket.parent_path().parent_path(), runtime.path());
  EXPECT_EQ(socket.parent_path().filename().string().rfind(
                "lumo-bridge-" + std::to_string(getpid()) + "-", 0),
            0u);
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(living / "bridge.sock"));
  EXPECT_TRUE(std::filesystem::exists(other / "bridge.sock"));
  server->reset();
  EXPECT_FALSE(std::filesystem::exists(socket.parent_path()));
}

}  // namespace
}  // namespace norwin::bridge
