#include "usage.h"

namespace norwin::reg {

namespace {

constexpr std::string_view kGeneral = R"txt(norwin-reg OPERATION [ARGUMENTS]

  Reads and changes the registry of this machine (registry.db in the folder
  $NORWIN_PREFIX, by default ~/.local/share/norwin).

  OPERATION  ADD | QUERY | DELETE | EXPORT | IMPORT

  Exit status: 0 success (also when a question was answered No), 1 failure.
  Type "norwin-reg OPERATION /?" for the arguments of an operation,
  "norwin-reg --version" for the version.
)txt";

constexpr std::string_view kAdd =
    R"txt(norwin-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]

  KEY        ROOT\SUBKEY; ROOT is HKLM, HKCU, HKCR, HKU, HKPD or the long name
             (HKEY_LOCAL_MACHINE ...). The key and its parents are created.
  /v NAME    the value to set.
  /ve        the key's default value (shown as "(Default)").
  /t TYPE    REG_SZ (the default), REG_EXPAND_SZ, REG_BINARY, REG_DWORD or
             REG_MULTI_SZ.
  /s SEP     the one character that separates the strings of REG_MULTI_SZ
             data; without /s it is the two characters \0.
  /d DATA    REG_DWORD: decimal, or 0x and hexadecimal digits.
             REG_BINARY: hexadecimal digits, two a byte (0aff10).
             REG_MULTI_SZ: strings between separators (one\0two).
  /f         overwrite an existing value without asking.

  Without /f an existing value is overwritten only when the answer to
  "Value NAME exists, overwrite(Yes/No)?" is Yes; No, or no answer (end of
  input), cancels and leaves the value as it was.

Examples:
  norwin-reg add HKCU\Software\Lumo /v Path /d /srv/courses
  norwin-reg add HKLM\Software\Lumo /v Count /t REG_DWORD /d 0x20 /f
  norwin-reg add HKCU\Software\Lumo /v List /t REG_MULTI_SZ /d one\0two
)txt";

constexpr std::string_view kQuery = R"txt(norwin-reg query KEY [/v NAME | /ve] [/s]

  KEY        ROOT\SUBKEY (see "norwin-reg add /?").
  /v NAME    show only this value.
  /ve        show only the default value.
  /s         show the key and every key below it.

  Output: a blank line, the key, then one line a value
  ("    NAME    TYPE    DATA"), then a blank line and the sub-keys.

Examples:
  norwin-reg query HKCU\Software\Lumo
  norwin-reg query HKCU\Software\Lumo /v Path
  norwin-reg query HKLM\Software /s /v Version
)txt";

constexpr std::string_view kDelete = R"txt(norwin-reg delete KEY [/v NAME | /ve | /va] [/f]

  KEY        ROOT\SUBKEY (see "norwin-reg add /?"). Without /v, /ve or /va
             the key is deleted with everything below it.
  /v NAME    delete this value.
  /ve        delete the default value.
  /va        delete every value of the key (not of its sub-keys).
  /f         delete without asking.

  Without /f the deletion happens only when the question is answered Yes;
  No, or no answer (end of input), cancels.

Examples:
  norwin-reg delete HKCU\Software\Lumo /v Path
  norwin-reg delete HKCU\Software\Lumo /f
)txt";

constexpr std::string_view kExport = R"txt(norwin-reg export KEY FILE [/y]

  Writes KEY and every key below it to FILE as a registry file
  ("Windows Registry Editor Version 5.00", UTF-8, CR LF line ends).
  /y         overwrite an existing FILE without asking.

Example:
  norwin-reg export HKCU\Software\Lumo lumo.reg
)txt";

constexpr std::string_view kImport = R"txt(norwin-reg import FILE

  Applies a registry file ("Windows Registry Editor Version 5.00"; UTF-8 or
  UTF-16 with a byte-order mark). The whole file is checked first and applied
  as one change: a file with a fault changes nothing.

Example:
  norwin-reg import lumo.reg
)txt";

}  // namespace

std::string_view Usage(Operation operation) {
  switch (operation) {
    case Operation::kAdd:
      return kAdd;
    case Operation::kQuery:
      return kQuery;
    case Operation::kDelete:
      return kDelete;
    case Operation::kExport:
      return kExport;
    case Operation::kImport:
      return kImport;
    case Operation::kNone:
      break;
  }
  return kGeneral;
}

}  // namespace norwin::reg
