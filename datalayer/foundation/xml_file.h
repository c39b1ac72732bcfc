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

// The whole content of the regular file at `path`. Fails, naming the path
// and the reason, when it cannot be opened or read or is not a file.
Result<FileBytes> ReadWholeFile(const std::filesystem::path& path);

// Replaces the file at `path` with `bytes`, whole (the system layer's
// WriteFileAtomically: on failure the old file is as it was). Fails without
// touching anything when the existing file is read-only (no write
// permission for anyone): the systems the records come from refuse to save
// over such a file, and the roster's lock depends on it.
Status WriteFileWhole(const std::filesystem::path& path, std::string_view bytes);

}  // namespace norwin::datalayer::internal
