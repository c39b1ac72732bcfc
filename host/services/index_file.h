// One file of a full-text index, open read-only for mapping.
//
// Only regular files are opened: a folder, a pipe or a device named as an
// index file fails to open instead of blocking or reading endlessly. The file
// is closed when the object dies.
#pragma once

#include <cstdint>
#include <filesystem>

#include "norwin/platform/status.h"

namespace norwin::host {

class IndexFile {
 public:
  // Fails with the system's reason when the file cannot be opened or is not a
  // regular file.
  static Result<IndexFile> Open(const std::filesystem::path& path);

  IndexFile(IndexFile&& other) noexcept;
  IndexFile& operator=(IndexFile&& other) noexcept;
  ~IndexFile();

  // The size when the file was opened.
  uint64_t size() const { return size_; }

  // The open descriptor, owned by this object (for mapping the file).
  int native_handle() const { return fd_; }

 private:
  IndexFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  int fd_ = -1;
  uint64_t size_ = 0;
};

}  // namespace norwin::host
