// Conversion between UTF-8, the program's text, and Windows-1252, the code
// page of the systems that wrote existing course discs and records.
//
// Windows-1252 leaves five bytes undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D);
// they read as the control characters of the same number, as Windows itself
// maps them, so that every byte string survives a round trip.
#pragma once

#include <string>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::platform {

// Every byte string is valid Windows-1252: this cannot fail.
std::string Cp1252ToUtf8(std::string_view bytes);

// Fails, naming the character, when the text holds a character that
// Windows-1252 cannot represent or is not valid UTF-8.
Result<std::string> Utf8ToCp1252(std::string_view text);

// Whether `text` is valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

}  // namespace norwin::platform
