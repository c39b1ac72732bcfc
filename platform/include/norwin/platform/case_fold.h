// Comparison of names without regard to case, as Windows compares section,
// key, value and file names.
//
// Letters are compared by their simple upper-case mapping, one character
// against one character, so "Straße" and "STRASSE" differ just as they do
// on Windows. Text that is not valid UTF-8 is compared byte by byte, with
// only the ASCII letters folded. Neither function allocates.
#pragma once

#include <string_view>

namespace norwin::platform {

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Whether `text` begins with `prefix`, without regard to case.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

}  // namespace norwin::platform
