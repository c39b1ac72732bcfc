// UTF-8 and UTF-16 conversions: the text inside the programs is UTF-8, and
// Windows data arrives as UTF-16 (registry files, profiles and XML documents
// saved by Windows tools, string data written in hexadecimal).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::platform {

// Decodes the UTF-8 sequence at `pos` of `text` into `code_point` and moves
// `pos` past it; false, with `pos` as it was, when the sequence is not valid
// (cut short, overlong, a surrogate, beyond U+10FFFF).
bool DecodeUtf8(std::string_view text, size_t& pos, char32_t& code_point);

// Appends the UTF-8 form of `code_point`, which must be a Unicode scalar
// value (at most U+10FFFF and not a surrogate).
void AppendUtf8(std::string& out, char32_t code_point);

enum class ByteOrder { kLittleEndian, kBigEndian };

// What stops UTF-16 decoding.
enum class Utf16Fault {
  kNone,
  kOddLength,   // the bytes end in the middle of a 16-bit unit
  kBrokenPair,  // a surrogate without its partner
};

struct DecodedUtf16 {
  // The text as UTF-8: all of it, or what came before the fault.
  std::string text;
  Utf16Fault fault = Utf16Fault::kNone;
  bool ok() const { return fault == Utf16Fault::kNone; }
};

// Decodes UTF-16 `bytes` (without a byte-order mark) in `order`. NUL units
// are kept as NUL characters; callers that cannot hold them check the text.
DecodedUtf16 DecodeUtf16(std::string_view bytes, ByteOrder order);

// The same for little-endian bytes, failing with "UTF-16 text with an odd
// number of bytes" or "UTF-16 text with a lone surrogate".
Result<std::string> Utf16LeToUtf8(std::string_view bytes);

// `utf8` must be valid UTF-8 (callers check it first). No terminator is added.
std::string Utf8ToUtf16Le(std::string_view utf8);

}  // namespace norwin::platform
