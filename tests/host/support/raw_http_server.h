// Test helper: a minimal HTTP/1.1 server on 127.0.0.1 for request targets
// that cpp-httplib refuses. Session chains of the configuration server
// produce targets with a second "?" ("/c.asp?SessionState=A?SessionState=B"),
// which browsers and the configuration server take as they are, while
// cpp-httplib answers 400 before any handler sees them.
//
// Every request is read up to its blank line (GET requests only, no body),
// its target recorded, and answered "200 OK" with the text that the
// handler returns for the target; the connection is then closed. Serves
// from a background thread for the lifetime of the object. Header-only.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace norwin::testing {

class RawHttpServer {
 public:
  using Handler = std::function<std::string(const std::string& target)>;

  explicit RawHttpServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::fprintf(stderr, "raw http server: cannot listen on 127.0.0.1\n");
      std::abort();
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~RawHttpServer() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
  }
  RawHttpServer(const RawHttpServer&) = delete;
  RawHttpServer& operator=(const RawHttpServer&) = delete;

  // "http://127.0.0.1:PORT" followed by `path_and_query`.
  std::string url(const std::string& path_and_query) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path_and_query;
  }
  // The targets of the requests so far, in order, exactly as sent.
  std::vector<std::string> targets() const {
    std::lock_guard lock(mutex_);
    return targets_;
  }
  // The value of `name` in the last request's headers (exact name); "" when absent.
  std::string last_header(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const std::string key = "\r\n" + name + ": ";
    const size_t found = last_head_.find(key);
    if (found == std::string::npos) return {};
    const size_t start = found + key.size();
    return last_head_.substr(start, last_head_.find("\r\n", start) - start);
  }

 private:
  void Serve() {
    while (!stopping_) {
      pollfd wait{listener_, POLLIN, 0};
      if (::poll(&wait, 1, 20) <= 0) continue;
      const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      Answer(connection);
      ::close(connection);
    }
  }

  void Answer(int connection) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
      pollfd wait{connection, POLLIN, 0};
      if (::poll(&wait, 1, 5000) <= 0) return;
      const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
      if (got <= 0) return;
      head.append(buffer, static_cast<size_t>(got));
    }
    const size_t first_blank = head.find(' ');
    const size_t second_blank = head.find(' ', first_blank + 1);
    if (first_blank == std::string::npos || second_blank == std::string::npos) return;
    const std::string target = head.substr(first_blank + 1, second_blank - first_blank - 1);
    {
      std::lock_guard lock(mutex_);
      targets_.push_back(target);
      last_head_ = head;
    }
    const std::string body = handler_(target);
    const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                                 body;
    size_t sent = 0;
    while (sent < response.size()) {
      const ssize_t put =
          ::send(connection, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (put <= 0) return;
      sent += static_cast<size_t>(put);
    }
  }

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> targets_;
  std::string last_head_;
};

}  // namespace norwin::testing
