// Value data as the reg command line writes it: the text after /d, and the
// DATA column of `query` output.
#pragma once

#include <string>
#include <string_view>

#include "norwin/platform/registry.h"
#include "norwin/platform/status.h"

namespace norwin::reg {

// The data of /d for `type`: REG_SZ and REG_EXPAND_SZ as written; REG_DWORD
// in decimal or as 0x and hexadecimal digits (0 to 4294967295); REG_BINARY as
// hexadecimal digits, two a byte; REG_MULTI_SZ as parts between `separator`s
// ("" gives no parts, an empty part is refused). Fails saying what is wrong.
Result<platform::RegValue> ParseValueData(platform::RegType type, std::string_view data,
                                          std::string_view separator);

// The DATA column: strings as they are, REG_DWORD as 0x and lower-case
// hexadecimal digits, REG_BINARY as upper-case hexadecimal digits, the parts
// of a REG_MULTI_SZ joined by "\0".
std::string FormatValueData(const platform::RegValue& value);

}  // namespace norwin::reg
