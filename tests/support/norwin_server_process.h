// Test helper: a norwin-server program of the build, started on 127.0.0.1
// with a free port and a data folder of the caller's, ended (SIGTERM, then
// waited for) when the object goes. Its log lines go to `data/server.log`.
// The program is the one named by NORWIN_TEST_SERVER_PROGRAM, or the path
// given. Header-only.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace norwin::testing {

class NorwinServerProcess {
 public:
  // Starts `program` with --listen 127.0.0.1:0 --data `data` and `extra`
  // arguments; aborts the test program when it does not come up.
  NorwinServerProcess(const std::string& program, const std::filesystem::path& data,
                      std::vector<std::string> extra = {}) {
    std::filesystem::create_directories(data);
    std::vector<std::string> words{program, "--listen", "127.0.0.1:0", "--data", data.string()};
    words.insert(words.end(), extra.begin(), extra.end());
    int out[2];
    if (pipe(out) != 0) Die("pipe");
    const std::string log = (data / "server.log").string();
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (std::string& word : words) argv.push_back(word.data());
      argv.push_back(nullptr);
      dup2(out[1], 1);
      const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      if (err >= 0) dup2(err, 2);
      close(out[0]);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    // The first line says where it listens: "... http://127.0.0.1:PORT/".
    std::string line;
    pollfd poll_fd{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&poll_fd, 1, 20'000) > 0) {
      char buffer[256];
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      line.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    const size_t colon = line.rfind(':');
    if (colon == std::string::npos) Die(("no port from " + program + ": " + line).c_str());
    port_ = std::atoi(line.c_str() + colon + 1);
    if (port_ <= 0) Die(("no port from " + program + ": " + line).c_str());
  }
  ~NorwinServerProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }
  NorwinServerProcess(const NorwinServerProcess&) = delete;
  NorwinServerProcess& operator=(const NorwinServerProcess&) = delete;

  // Ends the server at once, as a power cut would (SIGKILL).
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  // The program NORWIN_TEST_SERVER_PROGRAM names; "" when unset.
  static std::string ProgramFromEnvironment() {
    const char* program = std::getenv("NORWIN_TEST_SERVER_PROGRAM");
    return program ? program : "";
  }

 private:
  [[noreturn]] static void Die(const char* what) {
    std::fprintf(stderr, "norwin-server process: %s\n", what);
    std::abort();
  }

  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace norwin::testing
