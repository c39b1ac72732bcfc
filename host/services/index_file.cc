#include "index_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace norwin::host {

Result<IndexFile> IndexFile::Open(const std::filesystem::path& path) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Status::Error("cannot open " + path.string() + ": " + strerror(errno));
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return Status::Error("cannot open " + path.string() + ": not a regular file");
  }
  return IndexFile(fd, static_cast<uint64_t>(st.st_size));
}

IndexFile::IndexFile(IndexFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

IndexFile& IndexFile::operator=(IndexFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
  }
  return *this;
}

IndexFile::~IndexFile() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace norwin::host
