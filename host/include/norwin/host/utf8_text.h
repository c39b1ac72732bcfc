// Measuring and cutting UTF-8 text. The original program counted and cut
// its text in bytes of a one-byte code page; ours is UTF-8, so lengths that
// users see (widths, limits of locations and addresses) are counted in
// characters, and cuts never leave half a character behind. Bytes that are
// not valid UTF-8 count as one character each.
#pragma once

#include <cstddef>
#include <string_view>

namespace norwin::host {

// The number of characters in `text` (bytes that do not continue one).
size_t CountCharacters(std::string_view text);

// `text` cut to at most `max_bytes` bytes, shortened further so that no
// UTF-8 character is split.
std::string_view CutToCharacterBoundary(std::string_view text, size_t max_bytes);

}  // namespace norwin::host
