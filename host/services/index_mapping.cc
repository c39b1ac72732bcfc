#include "index_mapping.h"

#include <errno.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <utility>

#include "index_file.h"

namespace norwin::host {

Result<IndexMapping> IndexMapping::Map(const std::filesystem::path& path) {
  // IndexFile holds the rules of what may be opened as an index file; the
  // mapping keeps the file alive after the descriptor is closed.
  Result<IndexFile> file = IndexFile::Open(path);
  if (!file.ok()) return file.status();
  struct stat st;
  if (fstat(file->native_handle(), &st) != 0) {
    return Status::Error("cannot read " + path.string() + ": " + strerror(errno));
  }
  IndexMapping mapping;
  mapping.path_ = path;
  mapping.device_ = st.st_dev;
  mapping.inode_ = st.st_ino;
  mapping.modified_ = st.st_mtim;
  if (st.st_size > 0) {
    void* data = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED,
                      file->native_handle(), 0);
    if (data == MAP_FAILED) {
      return Status::Error("cannot map " + path.string() + ": " + strerror(errno));
    }
    mapping.data_ = static_cast<const char*>(data);
    mapping.size_ = static_cast<size_t>(st.st_size);
  }
  return mapping;
}

IndexMapping::IndexMapping(IndexMapping&& other) noexcept
    : path_(std::move(other.path_)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      device_(other.device_),
      inode_(other.inode_),
      modified_(other.modified_) {}

IndexMapping& IndexMapping::operator=(IndexMapping&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::move(other.path_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    device_ = other.device_;
    inode_ = other.inode_;
    modified_ = other.modified_;
  }
  return *this;
}

IndexMapping::~IndexMapping() { Release(); }

void IndexMapping::Release() {
  if (data_) munmap(const_cast<char*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

bool IndexMapping::IsCurrent() const {
  struct stat st;
  return stat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_ &&
         static_cast<uint64_t>(st.st_size) == size_ && st.st_mtim.tv_sec == modified_.tv_sec &&
         st.st_mtim.tv_nsec == modified_.tv_nsec;
}

}  // namespace norwin::host
