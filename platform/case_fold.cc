#include "norwin/platform/case_fold.h"

#include <glib.h>

namespace norwin::platform {

namespace {

constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Compares from the start of both texts; returns how far they agree as one
// of: both used up (match), `a` used up (prefix match), or a mismatch.
enum class Outcome { kEqual, kAIsPrefix, kBIsPrefix, kDiffer };

Outcome Compare(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[j]);
    if (ca < 0x80 && cb < 0x80) {
      if (AsciiUpper(a[i]) != AsciiUpper(b[j])) return Outcome::kDiffer;
      ++i, ++j;
      continue;
    }
    // At least one side holds a multi-byte character here.
    const gunichar ua = g_utf8_get_char_validated(a.data() + i, static_cast<gssize>(a.size() - i));
    const gunichar ub = g_utf8_get_char_validated(b.data() + j, static_cast<gssize>(b.size() - j));
    if (ua >= 0x80000000u || ub >= 0x80000000u) {
      // Broken UTF-8: the rest is compared as bytes.
      if (AsciiUpper(a[i]) != AsciiUpper(b[j])) return Outcome::kDiffer;
      ++i, ++j;
      continue;
    }
    if (ua != ub && g_unichar_toupper(ua) != g_unichar_toupper(ub)) return Outcome::kDiffer;
    i = static_cast<size_t>(g_utf8_next_char(a.data() + i) - a.data());
    j = static_cast<size_t>(g_utf8_next_char(b.data() + j) - b.data());
  }
  if (i == a.size() && j == b.size()) return Outcome::kEqual;
  return i == a.size() ? Outcome::kAIsPrefix : Outcome::kBIsPrefix;
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && a == b) return true;
  return Compare(a, b) == Outcome::kEqual;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  const Outcome outcome = Compare(prefix, text);
  return outcome == Outcome::kEqual || outcome == Outcome::kAIsPrefix;
}

}  // namespace norwin::platform
