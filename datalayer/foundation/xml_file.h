// Private to the XML DOM: reading a document file into a buffer the parser
// can own, and writing a file whole.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::datalayer::internal {

// Memory from pugixml's allocator, which a document can take over.
struct PugiFree {
  void operator()(char* p) const;
};
using PugiBuffer = std::unique_ptr<char, PugiFree>;

// A buffer of `size` bytes (at least one); null when memory runs out.
PugiBuffer AllocatePugiBuffer(size_t size);

struct FileBytes {
  PugiBuffer data;
  size_t size = 0;
  std::string_view view() const { return {data.get(), size}; }
};

// The most bytes a document file may hold. Records are far smaller; a file
// beyond this is no record, and reading it could take the machine's memory.
inline constexpr size_t kMaxXmlFileBytes = size_t{64} << 20;

// The whole content of the regular file at `path`. Fails at once, naming the
// path and the reason, when it cannot be opened or read, is not a regular
// file (a folder, a pipe or a device never blocks the caller) or holds more
// than kMaxXmlFileBytes.
Result<FileBytes> ReadWholeFile(const std::filesystem::path& path);

// Replaces the file at `path` with `bytes`, whole (the system layer's
// WriteFileAtomically: on failure the old file is as it was). Fails without
// touching anything when the existing file is read-only (no write
// permission for anyone): the systems the records come from refuse to save
// over such a file, and the roster's lock depends on it.
Status WriteFileWhole(const std::filesystem::path& path, std::string_view bytes);

}  // namespace norwin::datalayer::internal
