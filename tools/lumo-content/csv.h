// Reading comma-separated values as spreadsheets write them (RFC 4180):
// cells in double quotes may hold commas, line ends and doubled quotes; lines
// end in LF or CR LF. Every record carries the line it starts on, so that a
// bad row is reported where the author sees it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "norwin/platform/status.h"

namespace norwin::content_tool {

struct CsvRecord {
  size_t line = 0;  // 1-based line the record starts on
  std::vector<std::string> cells;
};

// The records of `text` (UTF-8), empty lines left out. Fails with
// "SOURCE:N: ..." for a quoted cell that never ends or text after a closing
// quote on line N.
Result<std::vector<CsvRecord>> ParseCsv(std::string_view text, std::string_view source);

// The text of a CSV file as UTF-8: a byte-order mark is dropped, and a file
// that is not UTF-8 is read as Windows-1252 (what spreadsheets on the
// authors' systems save), with `converted` set.
std::string CsvTextAsUtf8(std::string bytes, bool& converted);

}  // namespace norwin::content_tool
