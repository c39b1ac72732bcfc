// One file of a full-text index mapped into memory, read-only, with what
// identifies the file it was mapped from, so that a holder can tell whether
// the file at its path is still that file (same device, inode, size and
// modification time) without reading it again.
//
// The file is opened as IndexFile opens it (regular files only). The mapping
// is shared with the page cache: a file rewritten in place with the same size
// shows its new bytes at once; one replaced (index builders write a new file
// and rename it over the old one) or resized is seen by IsCurrent, and the
// holder maps it anew. A file cut short in place by another program while a
// query reads it is outside what this guards: index files live on course
// discs and are only ever replaced whole.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::host {

class IndexMapping {
 public:
  // Maps the file at `path` whole. An empty file maps to no bytes. Fails with
  // the system's reason when the file cannot be opened, is not a regular file
  // or cannot be mapped.
  static Result<IndexMapping> Map(const std::filesystem::path& path);

  IndexMapping(IndexMapping&& other) noexcept;
  IndexMapping& operator=(IndexMapping&& other) noexcept;
  IndexMapping(const IndexMapping&) = delete;
  IndexMapping& operator=(const IndexMapping&) = delete;
  ~IndexMapping();

  // The file's bytes as they were mapped; valid while the object lives.
  std::string_view bytes() const { return {data_, size_}; }
  const std::filesystem::path& path() const { return path_; }

  // Whether the file now at path() is the one mapped: one stat, no reading.
  bool IsCurrent() const;

 private:
  IndexMapping() = default;
  void Release();

  std::filesystem::path path_;
  const char* data_ = nullptr;
  size_t size_ = 0;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  struct timespec modified_ = {};
};

}  // namespace norwin::host
