// The web process's end of the private socket to lumo's UI process (see
// norwin/bridge/wire.h), and the Channel through which one document's
// script calls travel over it.
//
// Everything here runs on the web process's main thread, where page script
// runs; a call blocks that thread until the UI process answers, which is
// what lets page script receive the values of its calls as it expects.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/bridge/calls.h"
#include "norwin/platform/status.h"

namespace norwin::bridge::webext {

class UiConnection {
 public:
  UiConnection(std::string socket_path, std::string token)
      : socket_path_(std::move(socket_path)), token_(std::move(token)) {}
  ~UiConnection();
  UiConnection(const UiConnection&) = delete;
  UiConnection& operator=(const UiConnection&) = delete;

  // Sends the whole frame `frame` and returns the body of the reply. Fails
  // when the UI process cannot be reached or hangs up; the connection is
  // then closed and the next exchange tries to connect again.
  [[nodiscard]] Result<std::string> Exchange(std::string_view frame);

  // Sends the whole frame `frame`, which has no reply. Failures are ignored:
  // a message without reply to a UI process that has gone has nothing to do.
  void Send(std::string_view frame);

 private:
  Status EnsureConnected();
  bool WriteAll(std::string_view data);
  bool ReadAll(char* data, size_t size);
  void Close();

  std::string socket_path_;
  std::string token_;
  int fd_ = -1;
};

// The calls of one document: `context` is the id the UI process gave it.
class ContextChannel final : public Channel {
 public:
  ContextChannel(UiConnection* connection, uint32_t context)
      : connection_(connection), context_(context) {}

  void Call(const CallRequest& request, CallReply* reply) override;
  void Release(Handle handle) override;

 private:
  UiConnection* connection_;  // outlives the channel
  uint32_t context_;
  std::string frame_;  // kept between calls
};

}  // namespace norwin::bridge::webext
