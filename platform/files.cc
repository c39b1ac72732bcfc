#include "norwin/platform/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <optional>

#include "norwin/platform/file_lock.h"

namespace norwin::platform {

namespace {

namespace fs = std::filesystem;

std::string ErrnoText(int err) {
  if (err == EFBIG) return "the file would grow beyond the file-size limit of this process";
  if (err == ENOSPC) return "the disk is full";
  return strerror(err);
}

// The number of random characters that end a temporary file's name.
constexpr size_t kTempSuffixLength = 6;

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

void IgnoreFileSizeLimitSignal() {
  // Every time, not once: a library or a child's start-up may have set the
  // default back, and one call costs far less than the write it guards.
  signal(SIGXFSZ, SIG_IGN);
}

namespace {

// ".NAME.tmp-": what every temporary file of `target` is named, followed by
// kTempSuffixLength random characters.
std::string TempPrefix(const fs::path& target) {
  return std::string(".").append(target.filename().string()).append(".tmp-");
}

// Removes the temporary files of a write of the same file whose writer is
// gone: a living writer holds its file's lock. Where the file system keeps
// no locks nothing can be told apart, and nothing is removed.
void RemoveAbandonedTemporaries(const fs::path& dir, const std::string& prefix) {
  DIR* folder = opendir(dir.c_str());
  if (!folder) return;
  const int dir_fd = dirfd(folder);
  while (const dirent* entry = readdir(folder)) {
    const std::string_view name = entry->d_name;
    if (name.size() != prefix.size() + kTempSuffixLength || !name.starts_with(prefix)) continue;
    const int fd = openat(dir_fd, entry->d_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    FdCloser closer(fd);
    struct stat opened, named;
    // The name must still be the file that was locked: its writer may have
    // renamed it away meanwhile, and another file taken the name.
    if (LockFile(fd, LockKind::kExclusive, LockWait::kNo) == LockOutcome::kLocked &&
        fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
        fstatat(dir_fd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino)
      unlinkat(dir_fd, entry->d_name, 0);
  }
  closedir(folder);
}

std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[kTempSuffixLength] = {};
  if (getrandom(bytes, sizeof(bytes), 0) != static_cast<ssize_t>(sizeof(bytes))) {
    // Without the kernel's randomness: the clock and an address still make
    // a collision unlikely, and a collision only means another try.
    uint64_t seed = static_cast<uint64_t>(time(nullptr)) ^ reinterpret_cast<uintptr_t>(&bytes);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(seed >>= 5);
  }
  std::string out;
  for (unsigned char b : bytes) out.push_back(kLetters[b % (sizeof(kLetters) - 1)]);
  return out;
}

Status WriteAll(int fd, std::string_view content) {
  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    const ssize_t n = write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::Error(ErrnoText(errno));
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  if (fsync(fd) != 0) return Status::Error(ErrnoText(errno));
  return Status::Ok();
}

// A complete temporary file in `dir` holding `content` with `mode`, named
// `prefix` + a random suffix and locked by `fd` (kept open by the caller
// until the rename). Returns its path; the error text is the reason alone.
// nullopt when the folder's file system cannot make or name a file without
// a name (or /proc is missing): the caller then writes a named one.
std::optional<Result<std::string>> WriteNamelessThenLink(const fs::path& dir,
                                                         const std::string& prefix,
                                                         std::string_view content, mode_t mode,
                                                         int* fd_out) {
  const int fd = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return std::nullopt;
  FdCloser closer(fd);
  // Locked before it has a name, so no cleaner ever sees it unlocked.
  (void)LockFile(fd, LockKind::kExclusive, LockWait::kNo);
  if (fchmod(fd, mode) != 0) return Status::Error(ErrnoText(errno));
  if (Status written = WriteAll(fd, content); !written.ok()) return written;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = (dir / (prefix + RandomSuffix())).string();
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      *fd_out = closer.Release();
      return temp;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return Status::Error("no free name for a temporary file");
}

// The same for file systems without O_TMPFILE: the file has its name from
// the start and is locked right after it is made.
Result<std::string> WriteNamed(const fs::path& dir, const std::string& prefix,
                               std::string_view content, mode_t mode, int* fd_out) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = (dir / (prefix + "XXXXXX")).string();
    const int fd = mkstemp(temp.data());
    if (fd < 0) return Status::Error(ErrnoText(errno));
    FdCloser closer(fd);
    (void)LockFile(fd, LockKind::kExclusive, LockWait::kNo);
    // A cleaner may have taken it for an abandoned file before the lock.
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_nlink == 0) continue;
    auto fail = [&](Status status) {
      unlink(temp.c_str());
      return status;
    };
    if (fchmod(fd, mode) != 0) return fail(Status::Error(ErrnoText(errno)));
    if (Status written = WriteAll(fd, content); !written.ok()) return fail(written);
    *fd_out = closer.Release();
    return temp;
  }
  return Status::Error("no free name for a temporary file");
}

}  // namespace

Status WriteFileAtomically(const fs::path& file, std::string_view content) {
  IgnoreFileSizeLimitSignal();
  std::error_code ec;
  fs::path target = file;
  if (fs::is_symlink(file, ec)) {
    target = fs::weakly_canonical(file, ec);
    if (ec) return Status::Error("cannot follow the link " + file.string() + ": " + ec.message());
  }
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string prefix = TempPrefix(target);
  RemoveAbandonedTemporaries(dir, prefix);

  struct stat old;
  const mode_t mode =
      stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
  int fd = -1;
  std::optional<Result<std::string>> nameless =
      WriteNamelessThenLink(dir, prefix, content, mode, &fd);
  Result<std::string> temp =
      nameless ? std::move(*nameless) : WriteNamed(dir, prefix, content, mode, &fd);
  if (!temp.ok()) return Status::Error("cannot write " + file.string() + ": " + temp.message());
  // The lock goes with the descriptor, after the rename.
  FdCloser closer(fd);
  if (rename(temp->c_str(), target.c_str()) != 0) {
    const int err = errno;
    unlink(temp->c_str());
    return Status::Error("cannot replace " + file.string() + ": " + ErrnoText(err));
  }

  // Make the rename itself durable; a failure here leaves a complete file.
  if (const int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return Status::Ok();
}

}  // namespace norwin::platform
