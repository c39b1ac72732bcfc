#include "norwin/host/print_line.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace norwin::host {
namespace {

// Every line of `text`, as the printing loop takes them.
std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  size_t offset = 0;
  for (;;) {
    const PrintLine line = BreakPrintLine(text.substr(offset));
    lines.emplace_back(line.text);
    if (line.consumed == 0) return lines;
    offset += line.consumed;
  }
}

size_t Characters(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

std::string Repeat(std::string_view piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(BreakPrintLineTest, LengthLimits) {
  const std::string a71(71, 'a');
  const PrintLine whole = BreakPrintLine(a71);
  EXPECT_EQ(whole.text, a71);
  EXPECT_EQ(whole.consumed, 0u) << "71 characters are the last line";

  // 72 characters with blanks: wrapped at the last blank, which is consumed.
  std::string words = Repeat("word ", 14) + "ab";  // 72 characters
  ASSERT_EQ(words.size(), 72u);
  EXPECT_EQ(Lines(words), (std::vector<std::string>{Repeat("word ", 13) + "word", "ab"}));

  // 72 letters: cut after 72, and the empty rest is the last line.
  const std::string a72(72, 'a');
  EXPECT_EQ(Lines(a72), (std::vector<std::string>{a72, ""}));

  // A word of 80 letters: 72 and 8.
  const std::string word80(80, 'w');
  EXPECT_EQ(Lines(word80), (std::vector<std::string>{std::string(72, 'w'), std::string(8, 'w')}));
}

TEST(BreakPrintLineTest, LineEnds) {
  EXPECT_EQ(Lines("first\r\n\r\nsecond"), (std::vector<std::string>{"first", "", "second"}));
  EXPECT_EQ(Lines("ends with a line end\r\n"),
            (std::vector<std::string>{"ends with a line end", ""}));
  // A line feed or carriage return alone is an ordinary character.
  EXPECT_EQ(Lines("a\nb\rc"), (std::vector<std::string>{"a\nb\rc"}));

  // A CR LF starting at character 71 ends the line; at 72 it is too late,
  // and the 72 letters before it are cut first.
  const std::string a71(71, 'a');
  EXPECT_EQ(Lines(a71 + "\r\nx"), (std::vector<std::string>{a71, "x"}));
  const std::string a72(72, 'a');
  EXPECT_EQ(Lines(a72 + "\r\nx"), (std::vector<std::string>{a72, "", "x"}));

  // A CR LF comes before any blank, even in a long text.
  const std::string long_text = "one two\r\n" + std::string(100, 'z');
  const PrintLine line = BreakPrintLine(long_text);
  EXPECT_EQ(line.text, "one two");
  EXPECT_EQ(line.consumed, 9u);
}

TEST(BreakPrintLineTest, Blanks) {
  // A blank at character 0 does not count: the line is cut at 72.
  const std::string leading = " " + std::string(80, 'b');
  EXPECT_EQ(Lines(leading),
            (std::vector<std::string>{" " + std::string(71, 'b'), std::string(9, 'b')}));
  // A blank at character 72 ends a line of 72 characters.
  const std::string a72(72, 'a');
  EXPECT_EQ(Lines(a72 + " tail"), (std::vector<std::string>{a72, "tail"}));
  // Only the rightmost blank up to character 72 is consumed; the blanks after
  // it begin the next line.
  const std::string w70(70, 'w');
  EXPECT_EQ(Lines(w70 + "    next"), (std::vector<std::string>{w70 + "  ", " next"}));
  // A tab is no blank.
  const std::string tabbed = std::string(40, 't') + "\t" + std::string(40, 't');
  EXPECT_EQ(Lines(tabbed), (std::vector<std::string>{tabbed.substr(0, 72), tabbed.substr(72)}));
}

TEST(BreakPrintLineTest, CountsCharactersNotBytes) {
  // 80 two-byte letters: 72 and 8 characters.
  EXPECT_EQ(Lines(Repeat("é", 80)), (std::vector<std::string>{Repeat("é", 72), Repeat("é", 8)}));
  // 71 three-byte characters are one line though they are 213 bytes.
  const std::string euros = Repeat("€", 71);
  EXPECT_EQ(Lines(euros), (std::vector<std::string>{euros}));
  // Positions of line ends and blanks are in characters too.
  EXPECT_EQ(Lines(Repeat("ü", 71) + "\r\n😀"), (std::vector<std::string>{Repeat("ü", 71), "😀"}));
  EXPECT_EQ(Lines(Repeat("ü", 60) + " " + Repeat("ß", 20)),
            (std::vector<std::string>{Repeat("ü", 60), Repeat("ß", 20)}));
  // Broken UTF-8 still makes progress: a stray continuation byte is a character.
  const std::string stray(100, '\x80');
  EXPECT_EQ(Lines(stray), (std::vector<std::string>{stray.substr(0, 72), stray.substr(72)}));
}

TEST(BreakPrintLineTest, HugeTextsEndInLinearTime) {
  // Ten megabytes without a line end or a blank: breaking looks at no more
  // than 73 characters a line, so this takes milliseconds, not hours.
  const std::string huge(10 * 1000 * 1000 + 5, 'x');
  size_t offset = 0;
  size_t lines = 0;
  for (;;) {
    const PrintLine line = BreakPrintLine(std::string_view(huge).substr(offset));
    ++lines;
    if (line.consumed == 0) {
      EXPECT_EQ(line.text.size(), huge.size() % 72);
      break;
    }
    ASSERT_EQ(line.consumed, 72u);
    offset += line.consumed;
  }
  EXPECT_EQ(lines, huge.size() / 72 + 1);
}

TEST(BreakPrintLineTest, LinesRebuildTheTextOnRandomInput) {
  // Random texts of letters, blanks, CR, LF and multi-byte characters: every
  // line is a prefix of what remained, holds at most 72 characters, and is
  // followed by exactly what it consumed besides (nothing, a blank, CR LF).
  std::mt19937 random(20260);
  const std::vector<std::string> pieces = {"a", "b", " ", "  ", "\r\n", "\r", "\n", "é", "€"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 400);
    for (int i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
    std::string_view rest = text;
    for (;;) {
      const PrintLine line = BreakPrintLine(rest);
      ASSERT_EQ(line.text.data(), rest.data());
      ASSERT_LE(Characters(line.text), 72u) << text;
      if (line.consumed == 0) {
        ASSERT_EQ(line.text, rest);
        ASSERT_LE(Characters(rest), 71u);
        break;
      }
      const std::string_view end = rest.substr(line.text.size(), line.consumed - line.text.size());
      ASSERT_TRUE(end.empty() || end == " " || end == "\r\n") << text;
      if (end.empty()) {
        ASSERT_EQ(Characters(line.text), 72u) << text;
      }
      rest.remove_prefix(line.consumed);
    }
  }
}

}  // namespace
}  // namespace norwin::host
