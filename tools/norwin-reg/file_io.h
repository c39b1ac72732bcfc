// Reading and writing whole files for export and import.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::reg {

// The file's bytes; fails naming the file and the system's reason.
Result<std::string> ReadWholeFile(const std::filesystem::path& file);

// Writes `bytes` to a temporary file beside `file`, flushes it to disk and
// renames it over `file`, so that `file` is never left half written. The
// temporary file is removed on failure.
Status WriteFileAtomically(const std::filesystem::path& file, std::string_view bytes);

}  // namespace norwin::reg
