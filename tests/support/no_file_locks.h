// Plays a file system without locks (NFS without its lock daemon, some
// network shares) while the object lives: every flock of the system layer
// fails with ENOLCK.
#pragma once

#include <errno.h>

#include "norwin/platform/file_lock.h"

namespace norwin::testing {

class NoFileLocks {
 public:
  NoFileLocks() { platform::SetFlockForTesting(&Refuse); }
  ~NoFileLocks() { platform::SetFlockForTesting(nullptr); }
  NoFileLocks(const NoFileLocks&) = delete;
  NoFileLocks& operator=(const NoFileLocks&) = delete;

 private:
  static int Refuse(int, int) {
    errno = ENOLCK;
    return -1;
  }
};

}  // namespace norwin::testing
