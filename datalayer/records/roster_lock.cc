#include "norwin/datalayer/roster_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "norwin/platform/clock.h"
#include "norwin/platform/file_lock.h"

namespace norwin::datalayer {

namespace {

constexpr int kTries = 3;
constexpr double kShortestWaitMs = 250;
constexpr double kLongestWaitMs = 3000;
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

int RetryOnInterrupt(auto call) {
  int result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

// The holder's record: "PID MODE" (the mode in octal). Empty while nobody
// holds the lock or after a holder let it go.
bool ReadHolderMode(int fd, mode_t* mode) {
  char text[64] = {};
  const ssize_t got = pread(fd, text, sizeof(text) - 1, 0);
  if (got <= 0) return false;
  long pid = 0;
  unsigned long bits = 0;
  if (std::sscanf(text, "%ld %lo", &pid, &bits) != 2 || pid <= 0) return false;
  *mode = static_cast<mode_t>(bits & 07777);
  return true;
}

}  // namespace

RosterFileLock::RosterFileLock(std::filesystem::path roster) : roster_(std::move(roster)) {}

RosterFileLock::~RosterFileLock() { Unlock(); }

std::filesystem::path RosterFileLock::CompanionPath(const std::filesystem::path& roster) {
  std::filesystem::path companion = roster;
  companion.replace_filename("." + roster.filename().string() + ".lock");
  return companion;
}

RosterLockResult RosterFileLock::Lock(const std::function<bool()>& create_missing) {
  if (lock_fd_ >= 0) return RosterLockResult::kLocked;
  for (int attempt = 1;; ++attempt) {
    switch (TryOnce(create_missing)) {
      case Try::kLocked:
        return RosterLockResult::kLocked;
      case Try::kUnavailable:
        return RosterLockResult::kUnavailable;
      case Try::kBusy:
        break;
    }
    platform::SystemSource& source = platform::Source();
    const double wait = kShortestWaitMs + source.Random() * (kLongestWaitMs - kShortestWaitMs);
    source.Sleep(std::chrono::milliseconds(static_cast<int64_t>(wait)),
                 platform::WaitEvents::kBlock);
    if (attempt == kTries) return RosterLockResult::kBusy;
  }
}

RosterFileLock::Try RosterFileLock::TryOnce(const std::function<bool()>& create_missing) {
  const std::string companion = CompanionPath(roster_).string();
  const int fd =
      RetryOnInterrupt([&] { return open(companion.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666); });
  if (fd < 0) return Try::kUnavailable;
  bool advisory = true;
  switch (platform::LockFile(fd, platform::LockKind::kExclusive, platform::LockWait::kNo)) {
    case platform::LockOutcome::kLocked:
      break;
    case platform::LockOutcome::kUnsupported:
      // A file system without locks: the read-only mark alone guards the
      // roster, as it always did.
      platform::WarnLocksUnsupported(roster_.string());
      advisory = false;
      break;
    case platform::LockOutcome::kBusy:
      close(fd);
      return Try::kBusy;
    case platform::LockOutcome::kFailed:
      close(fd);
      return Try::kUnavailable;
  }
  lock_fd_ = fd;
  auto give_up = [&](Try result) {
    Unlock();
    return result;
  };

  struct stat st;
  if (stat(roster_.c_str(), &st) != 0) {
    if (errno != ENOENT || !create_missing || !create_missing()) return give_up(Try::kUnavailable);
    if (stat(roster_.c_str(), &st) != 0) return give_up(Try::kUnavailable);
  }
  if (!S_ISREG(st.st_mode)) return give_up(Try::kUnavailable);

  if ((st.st_mode & S_IWUSR) == 0) {
    // Marked. Nobody holds the advisory lock, so a mark with a holder on
    // record was left by a process that died holding it: take it over,
    // with the mode that holder saw. Without a record, it is not ours.
    // Without advisory locks a living holder cannot be told from a dead
    // one, and the mark is always respected.
    mode_t before = 0;
    if (!advisory || !ReadHolderMode(fd, &before)) {
      Unlock();
      return Try::kBusy;
    }
    mode_ = before;
    marked_ = true;
    if (!RecordHolder()) return give_up(Try::kUnavailable);
    return Try::kLocked;
  }

  mode_ = st.st_mode & 07777;
  // The record goes first: should this process die right after marking the
  // file, the next one knows whose mark it is.
  if (!RecordHolder()) return give_up(Try::kUnavailable);
  if (chmod(roster_.c_str(), mode_ & ~kWriteBits) != 0) return give_up(Try::kUnavailable);
  marked_ = true;
  return Try::kLocked;
}

bool RosterFileLock::RecordHolder() {
  char text[64];
  const int size = std::snprintf(text, sizeof(text), "%ld %04o\n", static_cast<long>(getpid()),
                                 static_cast<unsigned>(mode_));
  if (ftruncate(lock_fd_, 0) != 0) return false;
  if (pwrite(lock_fd_, text, static_cast<size_t>(size), 0) != size) return false;
  return fdatasync(lock_fd_) == 0;
}

Status RosterFileLock::AllowWrite() {
  if (!marked_) return Status::Ok();
  if (chmod(roster_.c_str(), mode_) != 0) {
    return Status::Error("cannot unlock the roster " + roster_.string() + ": " +
                         std::strerror(errno));
  }
  marked_ = false;
  return Status::Ok();
}

void RosterFileLock::Unlock() {
  if (lock_fd_ < 0) return;
  bool clear_record = true;
  if (marked_) {
    // When the mark cannot be cleared the record stays, so that the next
    // process takes the mark over as a dead holder's instead of waiting
    // for it forever.
    clear_record = chmod(roster_.c_str(), mode_) == 0;
    marked_ = false;
  }
  if (clear_record && ftruncate(lock_fd_, 0) == 0) (void)fdatasync(lock_fd_);
  platform::UnlockFile(lock_fd_);
  close(lock_fd_);
  lock_fd_ = -1;
}

}  // namespace norwin::datalayer
