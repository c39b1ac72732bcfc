#include "norwin/bridge/page_server.h"

#include <errno.h>
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
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
  unsigned source = 0;
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
    connection->source = 0;  // removed by returning G_SOURCE_REMOVE
    server->Drop(fd);
    return G_SOURCE_REMOVE;
  }
};

namespace {

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

}  // namespace

Result<std::unique_ptr<PageServer>> PageServer::Start(ContextOpener opener) {
  std::unique_ptr<PageServer> server(new PageServer());
  server->opener_ = std::move(opener);
  GError* error = nullptr;
  char* folder = g_dir_make_tmp("lumo-bridge-XXXXXX", &error);
  if (!folder) {
    std::string message = std::string("cannot make the bridge's folder: ") + error->message;
    g_error_free(error);
    return Status::Error(std::move(message));
  }
  server->folder_ = folder;
  g_free(folder);
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
  server->listen_source_ =
      g_unix_fd_add(server->listen_fd_, G_IO_IN, &PageServerIo::OnListen, server.get());
  return server;
}

PageServer::~PageServer() {
  while (!connections_.empty()) Drop(connections_.begin()->first);
  if (listen_source_) g_source_remove(listen_source_);
  if (listen_fd_ >= 0) close(listen_fd_);
  if (!socket_path_.empty()) unlink(socket_path_.c_str());
  if (!folder_.empty()) rmdir(folder_.c_str());
}

void PageServer::Accept() {
  for (;;) {
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    if (!SameUser(fd)) {
      close(fd);
      continue;
    }
    auto connection = std::make_shared<Connection>();
    connection->fd = fd;
    connection->source = g_unix_fd_add(fd, G_IO_IN, &PageServerIo::OnReadable, this);
    connections_.emplace(fd, std::move(connection));
  }
}

void PageServer::Drop(int fd) {
  const auto it = connections_.find(fd);
  if (it == connections_.end()) return;
  const std::shared_ptr<Connection> connection = it->second;
  connections_.erase(it);
  if (connection->source) g_source_remove(connection->source);
  connection->source = 0;
  close(connection->fd);
  connection->fd = -1;
  connection->contexts.clear();
}

bool PageServer::Serve(Connection& connection) {
  char buffer[16384];
  for (;;) {
    const ssize_t n = read(connection.fd, buffer, sizeof buffer);
    if (n > 0) {
      connection.input.append(buffer, static_cast<size_t>(n));
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
    if (length > kMaxFrameBody) return false;
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
    connection.output.clear();
    AppendReplyFrame("", &connection.output);
    return WriteAll(connection.fd, connection.output);
  }
  CallReply& reply = connection.reply;
  reply.Clear();
  switch (frame.kind) {
    case FrameKind::kHello:
      return false;
    case FrameKind::kContextClose:
      connection.contexts.erase(frame.context);
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
        auto context = std::make_shared<Context>();
        context->page_id = frame.page_id;
        context->server.SetExternal(std::move(external));
        connection.contexts.emplace(id, std::move(context));
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
      // The context stays alive for the whole call, even should its page
      // close during a prompt the call shows.
      const std::shared_ptr<Context> context = it->second;
      context->server.Call(frame.request, &reply);
      break;
    }
  }
  if (connection.fd < 0) return false;
  connection.packed.clear();
  AppendPackedReply(reply, &connection.packed);
  connection.output.clear();
  AppendReplyFrame(connection.packed, &connection.output);
  reply.values.clear();
  frame.request.args.clear();
  return WriteAll(connection.fd, connection.output);
}

void PageServer::ClosePage(uint64_t page_id) {
  for (auto& [fd, connection] : connections_) {
    std::erase_if(connection->contexts,
                  [page_id](const auto& entry) { return entry.second->page_id == page_id; });
  }
}

size_t PageServer::context_count() const {
  size_t count = 0;
  for (const auto& [fd, connection] : connections_) count += connection->contexts.size();
  return count;
}

}  // namespace norwin::bridge
