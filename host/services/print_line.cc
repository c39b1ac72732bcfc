#include "norwin/host/print_line.h"

namespace norwin::host {
namespace {

// A CR LF must start at one of the first 72 characters (0 to 71).
constexpr size_t kLastLineEndStart = 71;
// A remainder of this many characters or fewer is the last line.
constexpr size_t kLastLineLength = 71;
// A line holds at most this many characters.
constexpr size_t kMaxLineLength = 72;

// The byte after the character starting at `at`: its lead byte and the
// continuation bytes the lead byte announces. A byte that cannot start a
// character counts as one of its own, so any byte string makes progress.
size_t NextCharacter(std::string_view text, size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  const size_t end = at + length < text.size() ? at + length : text.size();
  ++at;
  while (at < end && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  return at;
}

}  // namespace

PrintLine BreakPrintLine(std::string_view remaining) {
  size_t byte = 0;
  size_t index = 0;  // characters before `byte`
  size_t blank = std::string_view::npos;
  // Characters 0 to 72 decide the line; nothing beyond them is looked at.
  while (byte < remaining.size() && index <= kMaxLineLength) {
    const char c = remaining[byte];
    if (c == '\r' && index <= kLastLineEndStart && byte + 1 < remaining.size() &&
        remaining[byte + 1] == '\n') {
      return {remaining.substr(0, byte), byte + 2};
    }
    if (c == ' ' && index >= 1) blank = byte;
    if (index == kMaxLineLength) break;
    byte = NextCharacter(remaining, byte);
    ++index;
  }
  if (byte >= remaining.size() && index <= kLastLineLength) return {remaining, 0};
  if (blank != std::string_view::npos) return {remaining.substr(0, blank), blank + 1};
  // `byte` now starts character 72 (or is the end of a text of exactly 72).
  return {remaining.substr(0, byte), byte};
}

}  // namespace norwin::host
