// Private to the system layer: UTF-8 <-> UTF-16LE, the text form of Windows
// data (registry files, string data in hexadecimal).
#pragma once

#include <string>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::platform {

// `utf8` must be valid UTF-8 (callers check it first). No terminator is added.
std::string Utf8ToUtf16Le(std::string_view utf8);

// Fails for an odd number of bytes or a lone surrogate.
Result<std::string> Utf16LeToUtf8(std::string_view bytes);

}  // namespace norwin::platform
