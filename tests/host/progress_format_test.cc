#include "norwin/host/progress_format.h"

#include <gtest/gtest.h>

#include <random>

#include "host/support/progress_format_check.h"

namespace norwin::host {
namespace {

TEST(ProgressFormatTest, ReadsLineEndsOfBothSystems) {
  // Written by the Windows program: CR LF after every line, a line break
  // inside a value as two CRs, so a value that ends in a line break ends in
  // three CRs before the LF.
  const std::string_view windows = "a=1\r\nnote=x\r\ry\r\nend=z\r\r\r\nlone=cr\r\r\n";
  EXPECT_EQ(FindStoredValue(windows, "a"), "1");
  EXPECT_EQ(DecodeCookieValue(*FindStoredValue(windows, "note")), "x\r\ny");
  EXPECT_EQ(DecodeCookieValue(*FindStoredValue(windows, "end")), "z\r\n");
  // A value that ends in a CR of its own keeps it.
  EXPECT_EQ(DecodeCookieValue(*FindStoredValue(windows, "lone")), "cr\r");

  // Edited by hand here: LF alone, and no line end after the last line.
  const std::string_view unix_file = "a=1\nb= =2\nc=3";
  EXPECT_EQ(FindStoredValue(unix_file, "b"), "2");
  EXPECT_EQ(FindStoredValue(unix_file, "c"), "3");
  // A new cookie must not join the unfinished last line.
  const std::string added = ContentWithCookie(unix_file, "d", "4");
  EXPECT_EQ(added, "a=1\nb= =2\nc=3\r\nd=4\r\n");
  EXPECT_EQ(FindStoredValue(added, "c"), "3");

  // What the program writes reads back byte for byte, whatever the value
  // ends in.
  for (std::string_view value : {"x\r\n", "x\r", "x\n", "\r\n\r\n", "x"}) {
    const std::string content = ContentWithCookie(windows, "v", EncodeCookieValue(value));
    EXPECT_EQ(FindStoredValue(content, "v"), EncodeCookieValue(value)) << value;
  }
}

TEST(ProgressFormatTest, LinesOfAnyLengthAndContent) {
  // The Windows program read at most 4095 characters of a line at a time and
  // took the rest for another line; here a line is a line.
  const std::string long_value(10000, 'v');
  const std::string trap = std::string(4095 - 2, 'x') + "b=fake";
  std::string content = "a=" + trap + "\r\n";
  content = ContentWithCookie(content, "long", long_value);
  EXPECT_EQ(FindStoredValue(content, "long"), long_value);
  EXPECT_EQ(FindStoredValue(content, "b"), std::nullopt);
  EXPECT_EQ(FindStoredValue(content, "a"), trap);

  // NUL bytes end a value, not a line.
  const std::string binary("n=ab\0cd\r\nm=\xff\xfe\r\n", 16);
  EXPECT_EQ(FindStoredValue(binary, "n"), "ab");
  // A line that is not UTF-8 is Windows-1252.
  EXPECT_EQ(FindStoredValue(binary, "m"), "\u00ff\u00fe");
  EXPECT_EQ(EncodeCookieValue(std::string_view("ab\0cd", 5)), "ab");
}

TEST(ProgressFormatTest, ChipsAndDeletion) {
  std::string content = "x=1\r\nlist=a|~\r\n";
  std::optional<std::string> chipped = ContentWithChip(content, "list", "b");
  ASSERT_TRUE(chipped);
  EXPECT_EQ(*chipped, "list=a|~b|~\r\nx=1\r\n");
  // "b" followed by the separator is part of "ab|~": taken as present.
  EXPECT_EQ(ContentWithChip("list=ab|~\r\n", "list", "b"), std::nullopt);
  // An empty chip is its separator alone.
  EXPECT_EQ(ContentWithChip("y=2", "list", ""), "y=2\r\nlist=|~\r\n");

  // Every line of the name goes; the others keep their order and bytes.
  EXPECT_EQ(ContentWithoutCookie("a=1\r\nab=2\nb=3\r\na=4", "a"), "ab=2\nb=3\r\n");
  EXPECT_EQ(ContentWithoutCookie("ab=2\r\n", "b"), std::nullopt);
}

TEST(ProgressFormatTest, RandomBytesKeepEveryRule) {
  std::mt19937 random(20260105);
  // Mostly the bytes that matter to the format, some of any value.
  const std::string_view alphabet("ab=\r\n|~ \t\0", 10);
  for (int round = 0; round < 20000; ++round) {
    std::string input(random() % 120, '\0');
    for (char& c : input)
      c = random() % 4 == 0 ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
    const std::string failure = norwin::testing::CheckProgressFormat(input);
    ASSERT_EQ(failure, "") << "input: " << ::testing::PrintToString(input);
  }
}

}  // namespace
}  // namespace norwin::host
