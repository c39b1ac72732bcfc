// The encodings of text files read and written through TextStream: UTF-8,
// UTF-16 little-endian with its mark, and Windows-1252. Private to the
// automation runtime.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/text_stream.h"

namespace norwin::automation::text_encoding {

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
inline constexpr std::string_view kUtf16Mark = "\xFF\xFE";

// The encoding of a file's bytes: UTF-16 when they begin with its mark (or
// `unicode` is asked for), UTF-8 when they are valid UTF-8, else
// Windows-1252.
TextStream::Encoding Detect(std::string_view bytes, bool unicode);

// The bytes as UTF-8 text, marks dropped. Broken UTF-16 becomes U+FFFD.
std::string Decode(std::string_view bytes, TextStream::Encoding encoding);

// UTF-8 text as bytes of `encoding` (no mark). A character Windows-1252
// lacks becomes "?", as the platform's conversion writes it.
std::string Encode(std::string_view text, TextStream::Encoding encoding);

}  // namespace norwin::automation::text_encoding
