// How the keys of Collection and Dictionary compare as text: without regard
// to case, letter against letter by their simple upper-case mapping (as the
// platform compares collection keys and file names), so "straße" and
// "STRASSE" differ. Bytes that are not valid UTF-8 compare as themselves,
// with only ASCII letters folded; they never equal a character. Hashing
// agrees with equality, so the pair keys unordered containers; neither
// allocates.
#pragma once

#include <cstddef>
#include <string_view>

#include "norwin/automation/export.h"

namespace norwin::automation {

// Whether `a` and `b` are the same text without regard to case.
NORWIN_AUTOMATION_EXPORT bool TextKeysEqual(std::string_view a, std::string_view b) noexcept;
// A hash of `text` that equal keys (TextKeysEqual) share.
NORWIN_AUTOMATION_EXPORT size_t HashTextKey(std::string_view text) noexcept;

struct TextKeyHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const noexcept { return HashTextKey(text); }
};
struct TextKeyEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return TextKeysEqual(a, b);
  }
};

}  // namespace norwin::automation
