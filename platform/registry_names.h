// Private to the registry: parsing key paths, checking names and folding them
// for comparison without regard to case.
#pragma once

#include <string>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::platform::registry_internal {

// A key path taken apart: `display` keeps the caller's case below the root's
// long name; `folded` is the form every lookup compares.
struct KeyPath {
  std::string display;  // "HKEY_LOCAL_MACHINE\Software\Lumo"
  std::string folded;   // "HKEY_LOCAL_MACHINE\SOFTWARE\LUMO"
  bool is_root = false;
};

// The long names of the five roots, in the order of their handles
// (HKEY_CLASSES_ROOT 0x80000000 first).
inline constexpr std::string_view kRootNames[] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE",
    "HKEY_USERS",        "HKEY_PERFORMANCE_DATA",
};

Result<KeyPath> ParseKeyPath(std::string_view key);

// The comparison form of a valid UTF-8 name: each character replaced by its
// upper-case form (as Windows compares registry names, one character at a
// time, so "ß" stays itself rather than becoming "SS").
std::string Fold(std::string_view name);

// Empty on success; otherwise why `name` cannot be a value name.
Status CheckValueName(std::string_view name);

}  // namespace norwin::platform::registry_internal
