// PageServer: the UI process's end of the private socket over which lumo's
// web-process extension carries the calls of page script (wire.h).
//
// It listens on a Unix socket in a folder of its own that only this user
// can enter, and accepts a connection only from a process of the same user
// that first presents the server's random token. Each document of a page
// (each frame's script context) that asks to be served is checked by the
// `ContextOpener`: for a trusted page it answers the object to hand out as
// `window.external`, and the server keeps an ObjectServer for that context;
// for any other it answers null and the context gets nothing. A context's
// objects are released when its document goes (Context.Close), when its
// page's window goes (ClosePage), when its web process goes, or with the
// server.
//
// It runs on the GLib main context of the thread that starts it (the UI
// thread) and carries out every call there, synchronously: the calling page
// waits for the answer. A call may run a nested main loop (a modal prompt);
// meanwhile other web processes' calls are served, never a second one of
// the same connection.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "norwin/automation/object.h"
#include "norwin/platform/status.h"

namespace norwin::bridge {

class PageServer {
 public:
  // The window.external of a document of page `page_id` at `address`;
  // null when the page is not trusted with script access.
  using ContextOpener = std::function<automation::Ref<automation::Object>(
      uint64_t page_id, std::string_view address)>;

  // Starts listening. Fails when the socket cannot be made.
  [[nodiscard]] static Result<std::unique_ptr<PageServer>> Start(ContextOpener opener);

  // Stops listening, drops every connection and releases every object; the
  // socket and its folder are removed.
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // What the extension needs to connect.
  const std::string& socket_path() const { return socket_path_; }
  const std::string& token() const { return token_; }

  // Releases the objects of every document of page `page_id`; later calls
  // of those documents fail as calls of a gone page.
  void ClosePage(uint64_t page_id);

  // Documents served now; for tests.
  size_t context_count() const;

 private:
  struct Connection;
  struct Context;
  friend struct PageServerIo;

  PageServer() = default;
  void Accept();
  // Reads what `fd` has and serves its complete frames; false when the
  // connection must be dropped.
  bool Serve(Connection& connection);
  bool HandleFrame(Connection& connection, std::string_view body);
  void Drop(int fd);

  ContextOpener opener_;
  std::string folder_;
  std::string socket_path_;
  std::string token_;
  int listen_fd_ = -1;
  unsigned listen_source_ = 0;
  std::map<int, std::shared_ptr<Connection>> connections_;
};

}  // namespace norwin::bridge
