#include "xml_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <pugixml.hpp>
#include <string>

#include "norwin/platform/files.h"
#include "xml_encoding.h"

namespace norwin::datalayer::internal {

namespace {

Status Failure(const char* doing, const std::filesystem::path& path, int error) {
  return Status::Error(StrCat({"cannot ", doing, " ", path.string(), ": ", std::strerror(error)}));
}

// Closes a descriptor when the scope ends.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

void PugiFree::operator()(char* p) const { pugi::get_memory_deallocation_function()(p); }

PugiBuffer AllocatePugiBuffer(size_t size) {
  return PugiBuffer(static_cast<char*>(pugi::get_memory_allocation_function()(size ? size : 1)));
}

Result<FileBytes> ReadWholeFile(const std::filesystem::path& path) {
  // O_NONBLOCK: opening a pipe without a writer would wait for one.
  Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return Failure("open", path, errno);
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return Failure("read", path, errno);
  if (S_ISDIR(st.st_mode)) return Failure("read", path, EISDIR);
  if (!S_ISREG(st.st_mode))
    return Status::Error(StrCat({"cannot read ", path.string(), ": not a regular file"}));
  if (static_cast<uint64_t>(st.st_size) > kMaxXmlFileBytes)
    return Status::Error(
        StrCat({"cannot read ", path.string(), ": the file is larger than ",
                std::to_string(kMaxXmlFileBytes >> 20), " MiB, more than any record holds"}));
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
  // A rename would replace a read-only file without a word.
  struct stat old;
  if (stat(path.c_str(), &old) == 0 && !S_ISDIR(old.st_mode) &&
      (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    return Status::Error(StrCat({"cannot save ", path.string(), ": the file is read-only"}));
  return platform::WriteFileAtomically(path, bytes);
}

}  // namespace norwin::datalayer::internal
