// PageServer: the UI process's end of the private socket over which lumo's
// web-process extension carries the calls of page script (wire.h).
//
// It listens on a Unix socket in a folder of its own that only this user
// can enter ("lumo-bridge-PID-XXXXXX" under $XDG_RUNTIME_DIR, else the
// temporary folder; folders of processes that have ended are removed at
// start), and accepts a connection only from a process of the same user
// that presents the server's random token within kGreetingTimeMs. Before the
// token a connection may hold kMaxGreetingBytes; at most
// kMaxConnections are open at once. Each document of a page
// (each frame's script context) that asks to be served is checked by the
// `ContextOpener`: for a trusted page it answers the object to hand out as
// `window.external`, and the server keeps an ObjectServer for that context;
// for any other it answers null and the context gets nothing. A context's
// objects are released when its document goes (Context.Close), when its
// page's window goes (ClosePage), when its web process goes, or with the
// server.
//
// The objects live in an apartment: a thread of the server's own, with its
// own GLib main context, which serves the socket and carries out every
// call, synchronously for the page (the calling page waits for its answer)
// but never holding up the UI thread, whose windows stay alive while a
// record server takes a minute to answer. What needs the UI thread (the
// opener, window calls, prompts) is carried there by its code
// (norwin/platform/ui_thread.h). A call that waits while running the
// apartment's events (WaitEvents::kProcess) lets other web processes' calls
// be served meanwhile, never a second one of the same connection. A reply
// too large for one frame fails that call alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "norwin/automation/object.h"
#include "norwin/platform/status.h"

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GSource GSource;

namespace norwin::bridge {

class PageServer {
 public:
  // The window.external of a document of page `page_id` at `address`;
  // null when the page is not trusted with script access. Called on the
  // apartment thread.
  using ContextOpener = std::function<automation::Ref<automation::Object>(
      uint64_t page_id, std::string_view address)>;

  // How long a new connection has to present the token.
  static constexpr unsigned kGreetingTimeMs = 1500;
  // The most bytes a connection may send before its token is checked.
  static constexpr size_t kMaxGreetingBytes = 4096;
  // The most connections open at once (one a web process), and the most of
  // them still to present the token.
  static constexpr size_t kMaxConnections = 64;
  static constexpr size_t kMaxUngreeted = 8;

  // Starts listening and the apartment. Fails when the socket cannot be
  // made.
  [[nodiscard]] static Result<std::unique_ptr<PageServer>> Start(ContextOpener opener);

  // Stops listening, lets the call under way end, drops every connection
  // and releases every object (on the apartment thread, which then ends);
  // the socket and its folder are removed. A program that closes calls
  // platform::StopUiThreadCalls and platform::EndWaits first, so that the
  // call under way ends at once.
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // What the extension needs to connect.
  const std::string& socket_path() const { return socket_path_; }
  const std::string& token() const { return token_; }

  // Releases the objects of every document of page `page_id` (on the
  // apartment thread, once the call under way has ended); later calls of
  // those documents fail as calls of a gone page. Any thread.
  void ClosePage(uint64_t page_id);

  // Documents and connections served now; for tests. Any thread.
  size_t context_count() const { return context_count_.load(); }
  size_t connection_count() const { return connection_count_.load(); }

  // The folder the server's socket folder is made in.
  static std::string SocketBase();

 private:
  struct Connection;
  struct Context;
  friend struct PageServerIo;

  PageServer() = default;
  void Run();
  void Accept();
  void CountAll();
  // Reads what `fd` has and serves its complete frames; false when the
  // connection must be dropped.
  bool Serve(Connection& connection);
  bool HandleFrame(Connection& connection, std::string_view body);
  void Drop(int fd);
  void DropAll();

  ContextOpener opener_;
  std::string folder_;
  std::string socket_path_;
  std::string token_;
  int listen_fd_ = -1;
  GSource* listen_source_ = nullptr;
  std::map<int, std::shared_ptr<Connection>> connections_;
  uint64_t next_serial_ = 1;
  std::atomic<size_t> context_count_{0};
  std::atomic<size_t> connection_count_{0};
  GMainContext* apartment_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::thread thread_;
};

}  // namespace norwin::bridge
