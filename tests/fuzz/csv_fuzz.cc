// libFuzzer target: any bytes as a CSV file for lumo-content, read as the
// tool reads it. Records start on lines that grow, and every record written
// back with its cells quoted reads back the same.
// Run it with scripts/fuzz [SECONDS] NAME; its corpus is corpus/NAME/.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "csv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using norwin::content_tool::CsvRecord;
  bool converted = false;
  const std::string text = norwin::content_tool::CsvTextAsUtf8(
      std::string(reinterpret_cast<const char*>(data), size), converted);
  norwin::Result<std::vector<CsvRecord>> records = norwin::content_tool::ParseCsv(text, "fuzz");
  if (!records.ok()) return 0;
  std::string written;
  size_t line = 0;
  for (const CsvRecord& record : *records) {
    if (record.line <= line || record.cells.empty()) std::abort();
    line = record.line;
    for (size_t i = 0; i < record.cells.size(); ++i) {
      written += i ? ",\"" : "\"";
      for (char c : record.cells[i]) written += c == '"' ? std::string("\"\"") : std::string(1, c);
      written += "\"";
    }
    written += "\n";
  }
  norwin::Result<std::vector<CsvRecord>> again = norwin::content_tool::ParseCsv(written, "again");
  if (!again.ok() || again->size() != records->size()) std::abort();
  for (size_t r = 0; r < records->size(); ++r) {
    if ((*again)[r].cells != (*records)[r].cells) std::abort();
  }
  return 0;
}
