#include "norwin/platform/files.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>

namespace norwin::platform {

namespace {

std::string ErrnoText(int err) { return strerror(err); }

// The umask without changing it (umask() would change it for a moment for
// every thread of the process).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}

class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() {
    if (fd_ >= 0) close(fd_);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace

Result<std::string> ReadFileCapped(const std::filesystem::path& file, size_t max_bytes) {
  // O_NONBLOCK so that opening a pipe without a writer does not hang; it
  // does not affect reading a regular file.
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Status::Error("cannot open " + file.string() + ": " + ErrnoText(errno));
  FdCloser closer(fd);
  struct stat st;
  if (fstat(fd, &st) != 0)
    return Status::Error("cannot read " + file.string() + ": " + ErrnoText(errno));
  if (!S_ISREG(st.st_mode)) return Status::Error(file.string() + " is not a regular file");
  if (static_cast<uint64_t>(st.st_size) > max_bytes)
    return Status::Error(file.string() + " is too large (more than " + std::to_string(max_bytes) +
                         " bytes)");
  std::string content;
  content.resize(static_cast<size_t>(st.st_size) + 1);
  size_t used = 0;
  for (;;) {
    if (used == content.size()) {
      // The file grew while being read.
      if (content.size() > max_bytes)
        return Status::Error(file.string() + " is too large (more than " +
                             std::to_string(max_bytes) + " bytes)");
      content.resize(std::min(content.size() * 2, max_bytes + 1));
    }
    const ssize_t n = read(fd, content.data() + used, content.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::Error("cannot read " + file.string() + ": " + ErrnoText(errno));
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  if (used > max_bytes)
    return Status::Error(file.string() + " is too large (more than " + std::to_string(max_bytes) +
                         " bytes)");
  content.resize(used);
  return content;
}

Status WriteFileAtomically(const std::filesystem::path& file, std::string_view content) {
  std::error_code ec;
  std::filesystem::path target = file;
  if (std::filesystem::is_symlink(file, ec)) {
    target = std::filesystem::weakly_canonical(file, ec);
    if (ec) return Status::Error("cannot follow the link " + file.string() + ": " + ec.message());
  }
  const std::filesystem::path dir =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string temp =
      (dir / std::string(".").append(target.filename().string()).append(".tmp-XXXXXX")).string();
  const int fd = mkstemp(temp.data());
  if (fd < 0) return Status::Error("cannot write " + file.string() + ": " + ErrnoText(errno));
  FdCloser closer(fd);
  auto fail = [&](const std::string& what, int err) {
    unlink(temp.c_str());
    return Status::Error("cannot " + what + " " + file.string() + ": " + ErrnoText(err));
  };

  struct stat old;
  const mode_t mode =
      stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
  if (fchmod(fd, mode) != 0) return fail("write", errno);

  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    const ssize_t n = write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail("write", errno);
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  if (fsync(fd) != 0) return fail("write", errno);
  if (close(closer.Release()) != 0) return fail("write", errno);
  if (rename(temp.c_str(), target.c_str()) != 0) return fail("replace", errno);

  // Make the rename itself durable; a failure here leaves a complete file.
  if (const int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return Status::Ok();
}

}  // namespace norwin::platform
