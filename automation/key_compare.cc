#include "norwin/automation/key_compare.h"

#include <glib.h>

#include <cstdint>

namespace norwin::automation {

namespace {

// Hands out the folded units of a text one at a time: code points mapped to
// upper case, and bytes of broken UTF-8 marked with the top bit so that they
// never equal a code point.
class FoldedUnits {
 public:
  explicit FoldedUnits(std::string_view text) : text_(text) {}

  bool Done() const { return pos_ >= text_.size(); }

  uint32_t Next() {
    const auto byte = static_cast<unsigned char>(text_[pos_]);
    if (byte < 0x80) {
      ++pos_;
      return byte >= 'a' && byte <= 'z' ? byte - ('a' - 'A') : byte;
    }
    const char* at = text_.data() + pos_;
    const gunichar c = g_utf8_get_char_validated(at, static_cast<gssize>(text_.size() - pos_));
    if (c >= 0x80000000u) {  // (gunichar)-1 or -2: not a whole valid character
      ++pos_;
      return 0x80000000u | byte;
    }
    pos_ += static_cast<size_t>(g_utf8_next_char(at) - at);
    return g_unichar_toupper(c);
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

bool TextKeysEqual(std::string_view a, std::string_view b) noexcept {
  if (a == b) return true;
  FoldedUnits x(a), y(b);
  while (!x.Done() && !y.Done()) {
    if (x.Next() != y.Next()) return false;
  }
  return x.Done() && y.Done();
}

size_t HashTextKey(std::string_view text) noexcept {
  // FNV-1a over the folded units, four bytes each.
  uint64_t h = 14695981039346656037ull;
  FoldedUnits units(text);
  while (!units.Done()) {
    h ^= units.Next();
    h *= 1099511628211ull;
  }
  return static_cast<size_t>(h);
}

}  // namespace norwin::automation
