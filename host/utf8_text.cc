#include "norwin/host/utf8_text.h"

namespace norwin::host {
namespace {

bool IsContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

size_t CountCharacters(std::string_view text) {
  size_t count = 0;
  for (char byte : text) count += !IsContinuation(byte);
  return count;
}

std::string_view CutToCharacterBoundary(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = max_bytes;
  // When the byte after the cut continues a character, step back to that
  // character's first byte and cut before it, unless the bytes are no valid
  // sequence (then the cut stays where it was).
  size_t start = end;
  while (start > 0 && IsContinuation(text[start])) --start;
  if (start < end) {
    const unsigned char lead = static_cast<unsigned char>(text[start]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (start + length > end) end = start;
  }
  return text.substr(0, end);
}

}  // namespace norwin::host
