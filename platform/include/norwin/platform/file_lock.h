// Advisory whole-file locks (flock) for the files the system shares between
// its processes (progress file, course files, rosters), and what to do where
// the file system has no locks at all.
//
// Some file systems refuse every lock: NFS without a lock daemon, some
// network shares and FUSE file systems answer flock with ENOLCK or
// EOPNOTSUPP. A file there would otherwise never open; callers instead go on
// without the lock (LockOutcome::kUnsupported) and say so once on standard
// error (WarnLocksUnsupported).
//
// Tests replace flock itself (SetFlockForTesting) to play such a file system.
#pragma once

#include <string_view>

namespace norwin::platform {

enum class LockKind { kShared, kExclusive };
enum class LockWait { kNo, kYes };

enum class LockOutcome {
  kLocked,       // the lock is held (closing the descriptor releases it)
  kBusy,         // another holder has it (only without waiting)
  kUnsupported,  // the file system has no locks: go on unlocked
  kFailed,       // any other failure; errno says why
};

// Locks the open file `fd`, retrying when a signal interrupts the wait.
LockOutcome LockFile(int fd, LockKind kind, LockWait wait);

// Releases a lock taken by LockFile; harmless without one.
void UnlockFile(int fd);

// Writes, once per file and process, that `file` is used without a lock because its
// file system has none, and what that means for the user.
void WarnLocksUnsupported(std::string_view file);

// Replaces the flock the functions above call; nullptr restores the system's.
using FlockFunction = int (*)(int fd, int operation);
void SetFlockForTesting(FlockFunction flock_function);

}  // namespace norwin::platform
