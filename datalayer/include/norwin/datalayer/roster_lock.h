// The lock that keeps other processes away from a local roster file while
// one process reads it, changes it and writes it back (adding a student).
//
// The visible mark is the file's read-only attribute, as rosters have always
// been locked: set while a process holds the lock, cleared when it writes
// the roster back or gives up. Processes of this system also hold an
// exclusive advisory lock (flock) on a companion file beside the roster
// (".NAME.lock") for the whole time, for two reasons:
// - testing the mark and setting it is then one step: two processes can
//   never both find the file writable and both take it;
// - a mark left by a process that died while holding it is recognised and
//   taken over: the companion file still names that holder, yet nobody
//   holds its advisory lock any more. A read-only attribute that no holder
//   of ours set (a user's, another program's) is respected.
// On a file system without locks (file_lock.h) the read-only mark alone
// guards the roster, with a warning on standard error; a mark left by a
// holder that died must then be cleared by hand, as it always had to.
//
// A busy roster is tried up to three times, with a random wait of 0.25 to 3
// seconds (through the clock source, clock.h) after each failed try, so
// that processes contending for it spread out.
//
// One object, one roster, one holder at a time; the object releases what it
// holds when it dies, whatever path the caller leaves by.
#pragma once

#include <filesystem>
#include <functional>

#include "norwin/platform/status.h"

namespace norwin::datalayer {

enum class RosterLockResult {
  kLocked,       // the lock is held
  kBusy,         // another holder kept it through every try
  kUnavailable,  // no roster to lock: missing (and not created), or its folder is
};

class RosterFileLock {
 public:
  // `roster` is the native path of the roster file.
  explicit RosterFileLock(std::filesystem::path roster);
  ~RosterFileLock();
  RosterFileLock(const RosterFileLock&) = delete;
  RosterFileLock& operator=(const RosterFileLock&) = delete;

  // Takes the lock. When the roster file is missing, `create_missing` (when
  // given) is called with the companion lock held to create it and says
  // whether it did; without it, or when it fails, the result is
  // kUnavailable.
  RosterLockResult Lock(const std::function<bool()>& create_missing = {});
  bool held() const { return lock_fd_ >= 0; }

  // Clears the read-only mark so that the holder can write the roster back,
  // while the advisory lock still keeps other processes of this system out.
  // Fails, naming the file, when the mark cannot be cleared.
  [[nodiscard]] Status AllowWrite();

  // Clears the mark when this object set it and lets go of the lock. Safe to
  // call when nothing is held.
  void Unlock();

  // The companion file of `roster`.
  static std::filesystem::path CompanionPath(const std::filesystem::path& roster);

 private:
  enum class Try { kLocked, kBusy, kUnavailable };
  Try TryOnce(const std::function<bool()>& create_missing);
  // Records this process and the roster's mode in the companion file.
  bool RecordHolder();

  std::filesystem::path roster_;
  int lock_fd_ = -1;
  // Whether this object set (or took over) the read-only mark.
  bool marked_ = false;
  // The roster's permission bits before it was marked.
  unsigned mode_ = 0;
};

}  // namespace norwin::datalayer
