// What the file-system objects share: resolving Windows paths and turning
// system errors into the runtime's error numbers. Private to the automation
// runtime.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace norwin::automation::file_system_internal {

// The native path of a Windows path; raises 5 for an empty path and 76 for
// one that does not resolve (a drive that does not exist, a network path).
std::filesystem::path Resolve(std::string_view windows_path);
// The same, nullopt instead of an error.
std::optional<std::filesystem::path> TryResolve(std::string_view windows_path);

// stat() of `path` (following links); nullopt when it cannot be read.
std::optional<struct stat> StatOf(const std::filesystem::path& path);

// The runtime error for a failed system call's errno: 53 (or 76 for a
// missing folder when `missing` says so), 70, 58, 61 or 75.
[[noreturn]] void RaiseForErrno(int error, int32_t missing);

// The Windows form of `path` when a drive holds it, else the native form.
std::string DisplayPath(const std::filesystem::path& path);

}  // namespace norwin::automation::file_system_internal
