#include "xml_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <pugixml.hpp>
#include <string>

#include "xml_encoding.h"

namespace norwin::datalayer::internal {

namespace {

Status Failure(const char* doing, const std::filesystem::path& path, int error) {
  return Status::Error(StrCat({"cannot ", doing, " ", path.string(), ": ", std::strerror(error)}));
}

// Closes a descriptor when the scope ends unless released.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now; returns the error of close(2), or 0.
  int Close() {
    const int rc = close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

std::filesystem::path TemporaryName(const std::filesystem::path& target) {
  static std::atomic<unsigned> counter{0};
  const std::string name =
      StrCat({".", target.filename().string(), ".tmp-", std::to_string(getpid()), "-",
              std::to_string(counter.fetch_add(1))});
  return target.parent_path() / name;
}

}  // namespace

void PugiFree::operator()(char* p) const { pugi::get_memory_deallocation_function()(p); }

PugiBuffer AllocatePugiBuffer(size_t size) {
  return PugiBuffer(static_cast<char*>(pugi::get_memory_allocation_function()(size ? size : 1)));
}

Result<FileBytes> ReadWholeFile(const std::filesystem::path& path) {
  Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Failure("open", path, errno);
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return Failure("read", path, errno);
  if (!S_ISREG(st.st_mode)) return Failure("read", path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  FileBytes file;
  const auto size = static_cast<size_t>(st.st_size);
  file.data = AllocatePugiBuffer(size);
  if (!file.data) return Failure("read", path, ENOMEM);
  // A file that shrinks meanwhile gives what is there; one that grows, its
  // first `size` bytes: the document is then cut and fails to parse.
  while (file.size < size) {
    const ssize_t n = read(fd.get(), file.data.get() + file.size, size - file.size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Failure("read", path, errno);
    }
    if (n == 0) break;
    file.size += static_cast<size_t>(n);
  }
  return file;
}

Status WriteFileWhole(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::path target = path;
  std::error_code ec;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    if (!ec) target = std::move(resolved);
  }

  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return Failure("save", path, errno);
  if (exists) {
    if (S_ISDIR(old.st_mode)) return Failure("save", path, EISDIR);
    // The read-only attribute of the systems these records come from is a
    // file without write permission here; their save refuses such a file,
    // and the roster's lock depends on it. A rename would not notice.
    if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
      return Status::Error(StrCat({"cannot save ", path.string(), ": the file is read-only"}));
  }

  const std::filesystem::path temp = TemporaryName(target);
  Descriptor fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0) return Failure("save", path, errno);
  int error = 0;
  if (exists) {
    if (fchmod(fd.get(), old.st_mode & 07777) != 0) error = errno;
    // Only root can give the file back to its owner; others keep their own.
    if (!error && geteuid() == 0 && fchown(fd.get(), old.st_uid, old.st_gid) != 0) error = errno;
  }
  if (!error) error = WriteAll(fd.get(), bytes);
  if (!error && fsync(fd.get()) != 0) error = errno;
  if (const int close_error = fd.Close(); !error) error = close_error;
  if (!error && rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error) {
    unlink(temp.c_str());
    return Failure("save", path, error);
  }
  // Make the rename itself durable; the data is safe either way.
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  Descriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
  return Status::Ok();
}

}  // namespace norwin::datalayer::internal
