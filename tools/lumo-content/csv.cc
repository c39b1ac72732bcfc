#include "csv.h"

#include "norwin/platform/codepage.h"

namespace norwin::content_tool {

std::string CsvTextAsUtf8(std::string bytes, bool& converted) {
  converted = false;
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (std::string_view(bytes).starts_with(kBom)) bytes.erase(0, kBom.size());
  if (platform::IsValidUtf8(bytes)) return bytes;
  converted = true;
  return platform::Cp1252ToUtf8(bytes);
}

Result<std::vector<CsvRecord>> ParseCsv(std::string_view text, std::string_view source) {
  auto bad = [source](size_t at, std::string_view what) {
    std::string message(source);
    message.append(":").append(std::to_string(at)).append(": ").append(what);
    return Status::Error(std::move(message));
  };
  std::vector<CsvRecord> records;
  size_t line = 1;
  size_t pos = 0;
  const size_t size = text.size();
  auto at_line_end = [&](size_t i) { return text[i] == '\n' || text[i] == '\r'; };
  // Steps over one line end (LF, CR LF or a lone CR) at `i`.
  auto skip_line_end = [&](size_t& i) {
    if (text[i] == '\r' && i + 1 < size && text[i + 1] == '\n') ++i;
    ++i;
    ++line;
  };
  while (pos < size) {
    if (at_line_end(pos)) {  // an empty line holds no record
      skip_line_end(pos);
      continue;
    }
    CsvRecord record;
    record.line = line;
    for (;;) {
      std::string cell;
      if (pos < size && text[pos] == '"') {
        const size_t quote_line = line;
        ++pos;
        for (;;) {
          if (pos >= size) {
            return bad(quote_line, "a quoted cell has no closing quote");
          }
          const char c = text[pos];
          if (c == '"') {
            if (pos + 1 < size && text[pos + 1] == '"') {
              cell.push_back('"');
              pos += 2;
              continue;
            }
            ++pos;
            break;
          }
          if (c == '\n' || (c == '\r' && !(pos + 1 < size && text[pos + 1] == '\n'))) ++line;
          cell.push_back(c);
          ++pos;
        }
        if (pos < size && text[pos] != ',' && !at_line_end(pos)) {
          return bad(line, "text follows the closing quote of a cell");
        }
      } else {
        while (pos < size && text[pos] != ',' && !at_line_end(pos)) cell.push_back(text[pos++]);
      }
      record.cells.push_back(std::move(cell));
      if (pos < size && text[pos] == ',') {
        ++pos;
        continue;
      }
      if (pos < size) skip_line_end(pos);
      break;
    }
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace norwin::content_tool
