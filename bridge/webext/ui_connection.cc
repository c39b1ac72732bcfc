#include "bridge/webext/ui_connection.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "norwin/bridge/packed_text.h"
#include "norwin/bridge/wire.h"

namespace norwin::bridge::webext {

UiConnection::~UiConnection() { Close(); }

void UiConnection::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

Status UiConnection::EnsureConnected() {
  if (fd_ >= 0) return Status::Ok();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path_.empty() || socket_path_.size() >= sizeof address.sun_path) {
    return Status::Error("no usable socket path to lumo");
  }
  std::memcpy(address.sun_path, socket_path_.c_str(), socket_path_.size() + 1);
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const std::string reason = std::strerror(errno);
    Close();
    return Status::Error("cannot connect to lumo: " + reason);
  }
  std::string hello;
  AppendHelloFrame(token_, &hello);
  char header[kFrameHeader];
  if (!WriteAll(hello) || !ReadAll(header, sizeof header) ||
      FrameBodyLength(std::string_view(header, sizeof header)) != 0) {
    Close();
    return Status::Error("lumo refused the connection");
  }
  return Status::Ok();
}

bool UiConnection::WriteAll(std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool UiConnection::ReadAll(char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = read(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

Result<std::string> UiConnection::Exchange(std::string_view frame) {
  if (Status connected = EnsureConnected(); !connected.ok()) return connected;
  char header[kFrameHeader];
  if (!WriteAll(frame) || !ReadAll(header, sizeof header)) {
    Close();
    return Status::Error("lumo hung up");
  }
  const uint32_t length = FrameBodyLength(std::string_view(header, sizeof header));
  if (length > kMaxFrameBody) {
    Close();
    return Status::Error("lumo sent an oversized reply");
  }
  std::string body(length, '\0');
  if (!ReadAll(body.data(), length)) {
    Close();
    return Status::Error("lumo hung up");
  }
  return body;
}

void UiConnection::Send(std::string_view frame) {
  if (fd_ < 0) return;
  if (!WriteAll(frame)) Close();
}

void ContextChannel::Call(const CallRequest& request, CallReply* reply) {
  frame_.clear();
  AppendCallFrame(context_, request, &frame_);
  if (frame_.size() - kFrameHeader > kMaxFrameBody) {
    // The UI process would take it for a misbehaving peer: this call fails
    // and the page keeps its bridge.
    frame_ = std::string();
    reply->Fail(kErrOutOfMemory,
                "The arguments are too large to pass (at most " +
                    std::to_string(kMaxFrameBody >> 20) + " MiB)",
                "bridge");
    return;
  }
  Result<std::string> body = connection_->Exchange(frame_);
  if (!body.ok()) {
    reply->Fail(kErrBridgeGone, body.message(), "bridge");
    return;
  }
  if (Status read = ReadPackedReply(*body, reply); !read.ok()) {
    reply->Fail(kErrBadCall, read.message(), "bridge");
  }
}

void ContextChannel::Release(Handle handle) {
  frame_.clear();
  AppendReleaseFrame(context_, handle, &frame_);
  connection_->Send(frame_);
}

}  // namespace norwin::bridge::webext
