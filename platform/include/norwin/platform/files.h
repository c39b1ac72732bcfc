// Whole-file reading and writing for the system layer and its users.
//
// Reading is bounded, so that a huge file, a device or a pipe named by
// mistake cannot exhaust memory or block. Writing replaces a file whole:
// the new content goes to a temporary file in the same folder, which is
// flushed to disk and then renamed over the old one, so a reader sees
// either the old file or the new one, never a half-written one, and a
// failure leaves the old file as it was.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::platform {

// The whole content of the regular file `file`. Fails with a readable
// message when it cannot be opened, is not a regular file (a folder, a
// device, a pipe), or holds more than `max_bytes` bytes.
Result<std::string> ReadFileCapped(const std::filesystem::path& file, size_t max_bytes);

// Makes the process ignore SIGXFSZ, so that a write past the file-size
// limit fails with EFBIG instead of ending the process.
void IgnoreFileSizeLimitSignal();

// Replaces `file` (or creates it) with `content`. An existing file keeps
// its permissions; a new one gets 0666 less the process's umask. When
// `file` is a symbolic link, the file it points to is replaced and the link
// stays. On failure nothing has changed and the message names the file.
Status WriteFileAtomically(const std::filesystem::path& file, std::string_view content);

}  // namespace norwin::platform
