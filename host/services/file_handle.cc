#include "norwin/host/file_handle.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "norwin/platform/drives.h"
#include "norwin/platform/file_lock.h"
#include "norwin/platform/files.h"

namespace norwin::host {
namespace {

int OpenFlags(OpenMode mode) {
  switch (mode) {
    case OpenMode::kRead:
      return O_RDONLY;
    case OpenMode::kWrite:
      return O_WRONLY | O_CREAT;
    case OpenMode::kReadWrite:
      return O_RDWR;
    case OpenMode::kAppend:
      return O_WRONLY;
  }
  return -1;
}

// Opens `native` with `flags`, holds the lock that `shared` asks for, and
// empties the file when `truncate`. -1 on any failure, with nothing held.
int OpenLocked(const char* native, int flags, bool shared, bool truncate) {
  // Non-blocking, so that opening a pipe or a device does not wait for a
  // peer; the flag is cleared once the file is known to be a regular one.
  const int fd = ::open(native, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) return -1;
  auto fail = [fd] {
    ::close(fd);
    return -1;
  };
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return fail();
  switch (platform::LockFile(fd,
                             shared ? platform::LockKind::kShared : platform::LockKind::kExclusive,
                             platform::LockWait::kNo)) {
    case platform::LockOutcome::kLocked:
      break;
    case platform::LockOutcome::kUnsupported:
      // A file system without locks (NFS without its lock daemon, some
      // network shares): the file opens as if nobody else held it.
      platform::WarnLocksUnsupported(native);
      break;
    case platform::LockOutcome::kBusy:
    case platform::LockOutcome::kFailed:
      return fail();
  }
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
      (truncate && ::ftruncate(fd, 0) != 0))
    return fail();
  return fd;
}

}  // namespace

FileHandle::~FileHandle() { Close(); }

bool FileHandle::Open(std::string_view file_name, OpenMode mode) {
  Close();
  const int flags = OpenFlags(mode);
  if (flags < 0) return false;
  Result<std::filesystem::path> native = platform::ResolveWindowsPath(file_name);
  if (!native.ok()) return false;
  fd_ = OpenLocked(native->c_str(), flags, mode == OpenMode::kRead, mode == OpenMode::kWrite);
  if (fd_ < 0) return false;
  if (mode == OpenMode::kAppend && ::lseek(fd_, 0, SEEK_END) < 0) {
    Close();
    return false;
  }
  return true;
}

bool FileHandle::Create(std::string_view file_name) {
  Close();
  Result<std::filesystem::path> native = platform::ResolveWindowsPath(file_name);
  if (!native.ok()) return false;
  fd_ = OpenLocked(native->c_str(), O_RDWR | O_CREAT, /*shared=*/false, /*truncate=*/true);
  return fd_ >= 0;
}

bool FileHandle::Close() {
  if (fd_ < 0) return false;
  // Closing the last descriptor of the open file releases its lock.
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

int32_t FileHandle::Read(void* buffer, int32_t count) {
  if (fd_ < 0 || count < 0 || (count > 0 && !buffer)) return -1;
  int32_t done = 0;
  while (done < count) {
    const ssize_t got =
        ::read(fd_, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<int32_t>(got);
  }
  return done;
}

int32_t FileHandle::Write(const void* buffer, int32_t count) {
  if (fd_ < 0 || count < 0 || (count > 0 && !buffer)) return -1;
  if (count == 0) return 0;
  // A write past the file-size limit fails (-1) instead of ending the process.
  platform::IgnoreFileSizeLimitSignal();
  const int64_t position = GetPosition();
  if (position < 0 || position + count > kMaxFilePosition) return -1;
  int32_t done = 0;
  while (done < count) {
    const ssize_t put =
        ::write(fd_, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
    if (put < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<int32_t>(put);
  }
  return done;
}

int32_t FileHandle::WriteString(const char* text) {
  if (!text) return -1;
  const size_t length = std::strlen(text);
  if (length > static_cast<size_t>(INT32_MAX)) return -1;
  return Write(text, static_cast<int32_t>(length));
}

int64_t FileHandle::Seek(int32_t distance, SeekOrigin origin) {
  if (fd_ < 0) return -1;
  int64_t base;
  switch (origin) {
    case SeekOrigin::kBegin:
      base = 0;
      break;
    case SeekOrigin::kCurrent:
      base = GetPosition();
      break;
    case SeekOrigin::kEnd:
      base = GetLength();
      break;
    default:
      return -1;
  }
  if (base < 0) return -1;
  const int64_t target = base + distance;
  if (target < 0 || target > kMaxFilePosition) return -1;
  return ::lseek(fd_, static_cast<off_t>(target), SEEK_SET) < 0 ? -1 : target;
}

int64_t FileHandle::GetPosition() const {
  if (fd_ < 0) return -1;
  const off_t position = ::lseek(fd_, 0, SEEK_CUR);
  return position < 0 ? -1 : static_cast<int64_t>(position);
}

int64_t FileHandle::GetLength() const {
  if (fd_ < 0) return -1;
  struct stat info;
  if (::fstat(fd_, &info) != 0 || info.st_size > kMaxFilePosition) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool FileHandle::AtEnd() const {
  const int64_t position = GetPosition();
  return position >= 0 && position == GetLength();
}

bool FileCanBeOpened(std::string_view file_name) {
  FileHandle file;
  return file.Open(file_name, OpenMode::kRead);
}

}  // namespace norwin::host
