// The text form of the registry that Windows registry editors export and
// import (".reg" files): the line "Windows Registry Editor Version 5.00", then
// a [KEY] line for each key followed by its values, one a line:
//
//   [HKEY_CURRENT_USER\Software\Lumo]
//   @="default value"                       REG_SZ, with \\ and \" escaped
//   "Count"=dword:0000002a                  REG_DWORD
//   "Blob"=hex:01,02,ff                     REG_BINARY
//   "Path"=hex(2):25,00,41,00,25,00,00,00   REG_EXPAND_SZ, UTF-16LE + NUL
//   "List"=hex(7):61,00,00,00,00,00         REG_MULTI_SZ, UTF-16LE parts + NUL
//   "Gone"=-                                deletes the value
//   [-HKEY_CURRENT_USER\Software\Old]       deletes the key and all below it
//
// Long hexadecimal lists continue on the next line after a backslash.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/platform/registry.h"
#include "norwin/platform/status.h"

namespace norwin::platform {

// Reads a whole file's bytes: UTF-8 with or without a byte-order mark, or
// UTF-16LE with one; lines ended by CR LF or LF; lines beginning with ';' are
// comments. Returns the edits the file asks for, in file order: a [KEY] line
// creates the key, value lines set or delete values, [-KEY] deletes a tree.
// Touches no registry, so a caller can check a whole file before applying any
// of it (Registry::Apply). Fails at the first fault with a message that names
// its line ("line 7: unknown value type hex(b)").
Result<std::vector<RegEdit>> ParseRegFile(std::string_view bytes);

// The file text for `keys` (as Registry::ReadTree returns them): UTF-8 without
// a byte-order mark, CR LF line ends, one section a key with its values in
// order. Strings holding line breaks are written as hex(1) so that every value
// reads back exactly through ParseRegFile.
std::string WriteRegFile(std::span<const RegKeyContents> keys);

}  // namespace norwin::platform
