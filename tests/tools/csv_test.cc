// lumo-content's CSV reader: records and the lines they start on, quoted
// cells across lines, both line ends, the errors with their line, and any
// cells written out quoted reading back as they were.
#include "csv.h"

#include <gtest/gtest.h>

#include <random>

namespace norwin::content_tool {
namespace {

using Cells = std::vector<std::vector<std::string>>;

struct Parsed {
  Cells cells;
  std::vector<size_t> lines;
};

Parsed Parse(std::string_view text) {
  Result<std::vector<CsvRecord>> records = ParseCsv(text, "f.csv");
  EXPECT_TRUE(records.ok()) << records.message();
  Parsed parsed;
  if (!records.ok()) return parsed;
  for (const CsvRecord& record : *records) {
    parsed.cells.push_back(record.cells);
    parsed.lines.push_back(record.line);
  }
  return parsed;
}

TEST(CsvTest, RecordsCellsAndTheLinesTheyStartOn) {
  struct Case {
    std::string text;
    Cells cells;
    std::vector<size_t> lines;
  } cases[] = {
      {"a,b\r\nc,d", {{"a", "b"}, {"c", "d"}}, {1, 2}},
      {"\"x\ny\",z\nw,\n", {{"x\ny", "z"}, {"w", ""}}, {1, 3}},
      {"\n\r\na\n\nb\r", {{"a"}, {"b"}}, {3, 5}},
      {"\"say \"\"hi\"\"\",\"a,b\",\"\"", {{"say \"hi\"", "a,b", ""}}, {1}},
      {"\"one\r\ntwo\"\rthree", {{"one\r\ntwo"}, {"three"}}, {1, 3}},
      {"un\"quoted\",x", {{"un\"quoted\"", "x"}}, {1}},
  };
  for (const Case& c : cases) {
    const Parsed parsed = Parse(c.text);
    EXPECT_EQ(parsed.cells, c.cells) << c.text;
    EXPECT_EQ(parsed.lines, c.lines) << c.text;
  }
}

TEST(CsvTest, ErrorsNameTheFileAndLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\nb,\"open\ncell", "f.csv:2: a quoted cell has no closing quote"},
      {"a\n\"x\ny\"z,1", "f.csv:3: text follows the closing quote of a cell"},
  };
  for (const auto& [text, error] : cases) {
    Result<std::vector<CsvRecord>> records = ParseCsv(text, "f.csv");
    EXPECT_EQ(records.message(), error) << text;
  }
}

TEST(CsvTest, AnyCellsWrittenQuotedReadBack) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 300; ++round) {
    Cells written(1 + random() % 4);
    std::string text;
    for (auto& record : written) {
      record.resize(1 + random() % 4);
      for (size_t i = 0; i < record.size(); ++i) {
        const size_t size = random() % 6;
        for (size_t k = 0; k < size; ++k) record[i].push_back("a,\"\r\n\xC3\xA9 "[random() % 8]);
        text += i ? ",\"" : "\"";
        for (char ch : record[i]) text += ch == '"' ? std::string("\"\"") : std::string(1, ch);
        text += "\"";
      }
      text += random() % 2 ? "\r\n" : "\n";
    }
    EXPECT_EQ(Parse(text).cells, written) << text;
  }
}

TEST(CsvTest, TextIsUtf8OrWindows1252) {
  bool converted = true;
  EXPECT_EQ(CsvTextAsUtf8("\xEF\xBB\xBFid,Caf\xC3\xA9", converted), "id,Caf\xC3\xA9");
  EXPECT_FALSE(converted);
  EXPECT_EQ(CsvTextAsUtf8("Caf\xE9 \x80", converted), "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_TRUE(converted);
}

}  // namespace
}  // namespace norwin::content_tool
