#include "norwin/bridge/page_server.h"

#include <dirent.h>
#include <errno.h>
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "norwin/bridge/object_server.h"
#include "norwin/bridge/packed_text.h"
#include "norwin/bridge/wire.h"

namespace norwin::bridge {

struct PageServer::Context {
  uint64_t page_id = 0;
  ObjectServer server;
};

struct PageServer::Connection {
  int fd = -1;
  uint64_t serial = 0;  // tells a connection from a later one on the same fd
  GSource* source = nullptr;
  GSource* greeting_timer = nullptr;
  bool greeted = false;
  std::string input;
  std::string output;
  uint32_t next_context = 1;
  std::map<uint32_t, std::shared_ptr<Context>> contexts;
  // Kept between frames so that a call costs no allocation for them.
  Frame frame;
  CallReply reply;
  std::string packed;
};

struct PageServerIo {
  static gboolean OnListen(gint, GIOCondition, gpointer self) {
    static_cast<PageServer*>(self)->Accept();
    return G_SOURCE_CONTINUE;
  }
  static gboolean OnReadable(gint fd, GIOCondition, gpointer self) {
    auto* server = static_cast<PageServer*>(self);
    const auto it = server->connections_.find(fd);
    if (it == server->connections_.end()) return G_SOURCE_REMOVE;
    // The connection stays alive while its frames are served, even should a
    // nested main loop drop it meanwhile.
    const std::shared_ptr<PageServer::Connection> connection = it->second;
    if (server->Serve(*connection)) return G_SOURCE_CONTINUE;
    // A nested main loop may have dropped it already, and its descriptor
    // may serve another connection by now.
    const auto again = server->connections_.find(fd);
    if (again != server->connections_.end() && again->second == connection) server->Drop(fd);
    return G_SOURCE_CONTINUE;  // Drop destroyed the source
  }
  // A connection that has not shown the token in time.
  struct Greeting {
    PageServer* server;
    int fd;
    uint64_t serial;
  };
  static gboolean OnGreetingTimeout(gpointer data) {
    const auto* greeting = static_cast<Greeting*>(data);
    const auto it = greeting->server->connections_.find(greeting->fd);
    if (it != greeting->server->connections_.end() && it->second->serial == greeting->serial &&
        !it->second->greeted) {
      greeting->server->Drop(greeting->fd);
    }
    return G_SOURCE_REMOVE;
  }
  static void FreeGreeting(gpointer data) { delete static_cast<Greeting*>(data); }
  static gboolean OnClosePage(gpointer data) {
    const auto* close = static_cast<std::pair<PageServer*, uint64_t>*>(data);
    for (auto& [fd, connection] : close->first->connections_) {
      std::erase_if(connection->contexts, [page_id = close->second](const auto& entry) {
        return entry.second->page_id == page_id;
      });
    }
    close->first->CountAll();
    return G_SOURCE_REMOVE;
  }
  static void FreeClosePage(gpointer data) {
    delete static_cast<std::pair<PageServer*, uint64_t>*>(data);
  }
  static gboolean OnStop(gpointer self) {
    g_main_loop_quit(static_cast<PageServer*>(self)->loop_);
    return G_SOURCE_REMOVE;
  }
};

namespace {

// The most bytes a connection keeps in its buffers between calls.
constexpr size_t kKeptBufferBytes = size_t{1} << 20;

// Gives back the objects a reply that never reaches the page published.
void ReleaseObjectsOf(const std::vector<Value>& values, ObjectServer& server) {
  for (const Value& value : values) {
    if (value.tag == ValueTag::kObject && value.object.handle != kNoHandle)
      server.Release(value.object.handle);
    if (value.tag == ValueTag::kArray) ReleaseObjectsOf(value.items, server);
  }
}

std::string RandomToken() {
  std::random_device random;
  std::string token;
  static constexpr char kHex[] = "0123456789abcdef";
  for (int i = 0; i < 8; ++i) {
    const uint32_t bits = random();
    for (int j = 0; j < 8; ++j) token.push_back(kHex[(bits >> (4 * j)) & 0xF]);
  }
  return token;
}

bool SameUser(int fd) {
  struct ucred credentials {};
  socklen_t size = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return false;
  return credentials.uid == getuid();
}

// Writes all of `data`, waiting (a bounded time) while the peer's buffer is
// full. False when the peer is gone or does not read.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd waiter{fd, POLLOUT, 0};
      if (poll(&waiter, 1, 30000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

// "lumo-bridge-PID-": the folders of this program; PID is the process that
// made it.
constexpr std::string_view kFolderPrefix = "lumo-bridge-";

// Removes the socket folders under `base` whose process has ended (killed
// before it could remove its own); only this user's, only the socket in
// them.
void RemoveFoldersOfEndedProcesses(const std::string& base) {
  DIR* listing = opendir(base.c_str());
  if (!listing) return;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view name(entry->d_name);
    if (!name.starts_with(kFolderPrefix)) continue;
    const std::string_view rest = name.substr(kFolderPrefix.size());
    const size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos) continue;
    pid_t pid = 0;
    bool number = true;
    for (char c : rest.substr(0, dash)) {
      if (c < '0' || c > '9' || pid > 99999999) number = false;
      pid = pid * 10 + (c - '0');
    }
    if (!number || pid <= 0 || kill(pid, 0) == 0 || errno != ESRCH) continue;
    const std::string folder = base + "/" + std::string(name);
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid())
      continue;
    unlink((folder + "/bridge.sock").c_str());
    rmdir(folder.c_str());
  }
  closedir(listing);
}

GSource* AttachFd(GMainContext* context, int fd, GUnixFDSourceFunc callback, gpointer data) {
  GSource* source = g_unix_fd_source_new(fd, G_IO_IN);
  g_source_set_callback(source, G_SOURCE_FUNC(callback), data, nullptr);
  g_source_attach(source, context);
  return source;
}

// Runs `callback` on the apartment thread, always from its loop (never at
// once on the calling thread, even before the loop runs).
void Post(GMainContext* context, GSourceFunc callback, gpointer data, GDestroyNotify destroy) {
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_set_callback(source, callback, data, destroy);
  g_source_attach(source, context);
  g_source_unref(source);
}

void DestroySource(GSource*& source) {
  if (!source) return;
  g_source_destroy(source);
  g_source_unref(source);
  source = nullptr;
}

}  // namespace

std::string PageServer::SocketBase() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info {};
  if (runtime && *runtime == '/' && stat(runtime, &info) == 0 && S_ISDIR(info.st_mode))
    return runtime;
  return g_get_tmp_dir();
}

Result<std::unique_ptr<PageServer>> PageServer::Start(ContextOpener opener) {
  std::unique_ptr<PageServer> server(new PageServer());
  server->opener_ = std::move(opener);
  const std::string base = SocketBase();
  RemoveFoldersOfEndedProcesses(base);
  std::string folder =
      base + "/" + std::string(kFolderPrefix) + std::to_string(getpid()) + "-XXXXXX";
  if (!g_mkdtemp_full(folder.data(), 0700)) {
    return Status::Error("cannot make the bridge's folder in " + base + ": " +
                         std::strerror(errno));
  }
  server->folder_ = folder;
  server->socket_path_ = server->folder_ + "/bridge.sock";
  server->token_ = RandomToken();

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (server->socket_path_.size() >= sizeof address.sun_path) {
    return Status::Error("the bridge's socket path is too long: " + server->socket_path_);
  }
  std::memcpy(address.sun_path, server->socket_path_.c_str(), server->socket_path_.size() + 1);
  server->listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (server->listen_fd_ < 0 ||
      bind(server->listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(server->listen_fd_, 16) != 0) {
    return Status::Error(std::string("cannot listen on the bridge's socket: ") +
                         std::strerror(errno));
  }
  server->apartment_ = g_main_context_new();
  server->loop_ = g_main_loop_new(server->apartment_, FALSE);
  server->listen_source_ =
      AttachFd(server->apartment_, server->listen_fd_, &PageServerIo::OnListen, server.get());
  server->thread_ = std::thread(&PageServer::Run, server.get());
  return server;
}

void PageServer::Run() {
  g_main_context_push_thread_default(apartment_);
  g_main_loop_run(loop_);
  // The objects go on the thread they lived on.
  DropAll();
  DestroySource(listen_source_);
  g_main_context_pop_thread_default(apartment_);
}

PageServer::~PageServer() {
  if (thread_.joinable()) {
    Post(apartment_, &PageServerIo::OnStop, this, nullptr);
    thread_.join();
  }
  DropAll();  // a server that never ran its apartment
  DestroySource(listen_source_);
  if (loop_) g_main_loop_unref(loop_);
  if (apartment_) g_main_context_unref(apartment_);
  if (listen_fd_ >= 0) close(listen_fd_);
  if (!socket_path_.empty()) unlink(socket_path_.c_str());
  if (!folder_.empty()) rmdir(folder_.c_str());
}

void PageServer::Accept() {
  for (;;) {
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) break;
    size_t ungreeted = 0;
    for (const auto& [open_fd, open] : connections_) ungreeted += open->greeted ? 0 : 1;
    if (!SameUser(fd) || connections_.size() >= kMaxConnections || ungreeted >= kMaxUngreeted) {
      close(fd);
      continue;
    }
    auto connection = std::make_shared<Connection>();
    connection->fd = fd;
    connection->serial = next_serial_++;
    connection->source = AttachFd(apartment_, fd, &PageServerIo::OnReadable, this);
    connection->greeting_timer = g_timeout_source_new(kGreetingTimeMs);
    g_source_set_callback(connection->greeting_timer, &PageServerIo::OnGreetingTimeout,
                          new PageServerIo::Greeting{this, fd, connection->serial},
                          &PageServerIo::FreeGreeting);
    g_source_attach(connection->greeting_timer, apartment_);
    connections_.emplace(fd, std::move(connection));
  }
  CountAll();
}

void PageServer::Drop(int fd) {
  const auto it = connections_.find(fd);
  if (it == connections_.end()) return;
  const std::shared_ptr<Connection> connection = it->second;
  connections_.erase(it);
  DestroySource(connection->source);
  DestroySource(connection->greeting_timer);
  close(connection->fd);
  connection->fd = -1;
  connection->contexts.clear();
  CountAll();
}

void PageServer::DropAll() {
  while (!connections_.empty()) Drop(connections_.begin()->first);
}

void PageServer::CountAll() {
  size_t count = 0;
  for (const auto& [fd, connection] : connections_) count += connection->contexts.size();
  context_count_ = count;
  connection_count_ = connections_.size();
}

bool PageServer::Serve(Connection& connection) {
  char buffer[16384];
  for (;;) {
    // Before the token nobody is trusted with more than a greeting.
    const size_t room =
        connection.greeted
            ? sizeof buffer
            : std::min(sizeof buffer, kMaxGreetingBytes + 1 - connection.input.size());
    const ssize_t n = read(connection.fd, buffer, room);
    if (n > 0) {
      connection.input.append(buffer, static_cast<size_t>(n));
      if (!connection.greeted && connection.input.size() > kMaxGreetingBytes) return false;
      continue;
    }
    if (n == 0) return false;  // the web process has gone
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    return false;
  }
  size_t used = 0;
  bool keep = true;
  while (keep && connection.fd >= 0 && connection.input.size() - used >= kFrameHeader) {
    const std::string_view rest = std::string_view(connection.input).substr(used);
    const uint32_t length = FrameBodyLength(rest);
    if (length > (connection.greeted ? kMaxFrameBody : kMaxGreetingBytes)) return false;
    if (rest.size() - kFrameHeader < length) break;
    // The body is copied out: serving it may run a nested main loop, and
    // the buffer must not move under it.
    const std::string body(rest.substr(kFrameHeader, length));
    used += kFrameHeader + length;
    keep = HandleFrame(connection, body);
  }
  if (connection.fd < 0) return false;
  connection.input.erase(0, used);
  return keep;
}

bool PageServer::HandleFrame(Connection& connection, std::string_view body) {
  Frame& frame = connection.frame;
  if (Status read = ReadFrame(body, &frame); !read.ok()) {
    std::fprintf(stderr, "lumo: dropping a page connection: %s\n", read.message().c_str());
    return false;
  }
  if (!connection.greeted) {
    // Nothing before the token; a wrong one ends the connection.
    if (frame.kind != FrameKind::kHello || frame.text != token_) return false;
    connection.greeted = true;
    DestroySource(connection.greeting_timer);
    connection.output.clear();
    AppendReplyFrame("", &connection.output);
    return WriteAll(connection.fd, connection.output);
  }
  CallReply& reply = connection.reply;
  reply.Clear();
  // The context of a call stays alive for the whole call, even should its
  // page close during a prompt the call shows.
  std::shared_ptr<Context> context;
  switch (frame.kind) {
    case FrameKind::kHello:
      return false;
    case FrameKind::kContextClose:
      connection.contexts.erase(frame.context);
      CountAll();
      return true;
    case FrameKind::kRelease: {
      const auto it = connection.contexts.find(frame.context);
      if (it != connection.contexts.end()) it->second->server.Release(frame.request.handle);
      return true;
    }
    case FrameKind::kContextOpen: {
      automation::Ref<automation::Object> external = opener_(frame.page_id, frame.text);
      if (!external) {
        reply.Fail(static_cast<int32_t>(0x80070005), "Access is denied", "lumo");
      } else {
        const uint32_t id = connection.next_context++;
        auto opened = std::make_shared<Context>();
        opened->page_id = frame.page_id;
        opened->server.SetExternal(std::move(external));
        connection.contexts.emplace(id, std::move(opened));
        CountAll();
        reply.values.push_back(Value::I4(static_cast<int32_t>(id)));
      }
      break;
    }
    case FrameKind::kCall: {
      const auto it = connection.contexts.find(frame.context);
      if (it == connection.contexts.end()) {
        reply.Fail(kErrBridgeGone, "The objects of this page are gone", "bridge");
        break;
      }
      context = it->second;
      context->server.Call(frame.request, &reply);
      break;
    }
  }
  if (connection.fd < 0) return false;
  connection.packed.clear();
  AppendPackedReply(reply, &connection.packed);
  if (connection.packed.size() > kMaxFrameBody && context) {
    // Too large for one frame (a script that read a huge file): that call
    // fails, and the page keeps its bridge and its objects.
    ReleaseObjectsOf(reply.values, context->server);
    const size_t size = connection.packed.size();
    reply.Fail(kErrOutOfMemory,
               "The answer of " + std::to_string(size >> 20) +
                   " MiB is too large to reach the page (at most " +
                   std::to_string(kMaxFrameBody >> 20) + " MiB)",
               "bridge");
    connection.packed = std::string();
    AppendPackedReply(reply, &connection.packed);
  }
  connection.output.clear();
  AppendReplyFrame(connection.packed, &connection.output);
  reply.values.clear();
  frame.request.args.clear();
  const bool written = WriteAll(connection.fd, connection.output);
  // The buffers are kept between calls, but not at the size of a rare
  // large answer.
  if (connection.output.capacity() > kKeptBufferBytes) {
    connection.output = std::string();
    connection.packed = std::string();
  }
  return written;
}

void PageServer::ClosePage(uint64_t page_id) {
  Post(apartment_, &PageServerIo::OnClosePage, new std::pair<PageServer*, uint64_t>(this, page_id),
       &PageServerIo::FreeClosePage);
}

}  // namespace norwin::bridge
