#include "norwin/platform/file_lock.h"

#include <errno.h>
#include <sys/file.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace norwin::platform {

namespace {

std::atomic<FlockFunction> flock_function{nullptr};

int CallFlock(int fd, int operation) {
  const FlockFunction replaced = flock_function.load();
  return replaced ? replaced(fd, operation) : ::flock(fd, operation);
}

// The answers of a file system that keeps no locks.
bool NoLocksHere(int error) {
  return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS;
}

}  // namespace

LockOutcome LockFile(int fd, LockKind kind, LockWait wait) {
  const int operation =
      (kind == LockKind::kShared ? LOCK_SH : LOCK_EX) | (wait == LockWait::kNo ? LOCK_NB : 0);
  int result;
  do {
    result = CallFlock(fd, operation);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return LockOutcome::kLocked;
  if (errno == EWOULDBLOCK) return LockOutcome::kBusy;
  if (NoLocksHere(errno)) return LockOutcome::kUnsupported;
  return LockOutcome::kFailed;
}

void UnlockFile(int fd) {
  const int saved = errno;
  (void)CallFlock(fd, LOCK_UN);
  errno = saved;
}

void WarnLocksUnsupported(std::string_view file) {
  static std::mutex mutex;
  static std::set<std::string>* warned = new std::set<std::string>();  // usable during exit
  const std::string text(file);
  {
    std::lock_guard lock(mutex);
    if (!warned->insert(text).second) return;
  }
  std::fprintf(stderr,
               "warning: the file system of %s does not support file locks; files there are used "
               "without them, so two programs changing the same file at once may undo each "
               "other's change\n",
               text.c_str());
}

void SetFlockForTesting(FlockFunction replacement) { flock_function.store(replacement); }

}  // namespace norwin::platform
