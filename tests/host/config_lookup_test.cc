#include "norwin/host/config_lookup.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace norwin::host {
namespace {

std::string Text(std::string_view name, std::string_view document, size_t capacity = 260) {
  std::string value = "stale";
  if (!FindConfigText(name, value, capacity, document)) return "<not found>";
  return value;
}

TEST(ConfigLookupTest, FindsValuesOfKeyLines) {
  const std::string document =
      "cx=1024\r\n"
      "cy = 768 \n"
      "run=  http://host/course/start.htm?a=1 \r\n"
      "title=Welding\tBasics\t\r\n"
      "redirKey=Software\\Vellora\n";
  EXPECT_EQ(Text("run", document), "http://host/course/start.htm?a=1");
  EXPECT_EQ(Text("title", document), "Welding\tBasics");
  EXPECT_EQ(Text("redirKey", document), "Software\\Vellora");
  EXPECT_EQ(Text("sessionID", document), "<not found>");
  EXPECT_EQ(FindConfigNumber("cx", 800, document), 1024);
  EXPECT_EQ(FindConfigNumber("cy", 600, document), 768);
  EXPECT_EQ(FindConfigNumber("width", 800, document), 800);
  // The last line may lack its line feed.
  EXPECT_EQ(Text("title", "title=Last"), "Last");
  // The destination is emptied also when nothing is found.
  std::string destination = "old";
  EXPECT_FALSE(FindConfigText("none", destination, 260, document));
  EXPECT_EQ(destination, "");
}

TEST(ConfigLookupTest, KeepsTheOriginalQuirks) {
  // The first occurrence anywhere wins, also inside another line's text.
  EXPECT_EQ(Text("run", "title=How to run=fast\nrun=start.htm\n"), "fast");
  EXPECT_EQ(Text("run", "rerun=x.htm\nrun=y.htm\n"), "x.htm");
  // Case counts.
  EXPECT_EQ(Text("run", "RUN=x\n"), "<not found>");
  // "=" with nothing after it before the line end: not found for text,
  // 0 (not the default) for numbers.
  EXPECT_EQ(Text("title", "title=\nrun=x\n"), "<not found>");
  EXPECT_EQ(Text("title", "title=  \t\r\nrun=x\n"), "<not found>");
  EXPECT_EQ(FindConfigNumber("cx", 800, "cx=\ncy=5\n"), 0);
  EXPECT_EQ(FindConfigNumber("cx", 800, "cx=  \r\n"), 0);
  // A key without "=" on its line has no value.
  EXPECT_EQ(Text("title", "title  Welding\n"), "<not found>");
  EXPECT_EQ(Text("run", "run\nx=1\n"), "<not found>");
  // At the very end of the text, with nothing after: found, empty.
  EXPECT_EQ(Text("run", "x=1\nrun="), "");
  EXPECT_EQ(Text("title", "x=1\ntitle  Welding"), "");
  EXPECT_EQ(FindConfigNumber("cx", 800, "cx="), 0);
  // Numbers: sign and leading digits; anything else gives 0.
  EXPECT_EQ(FindConfigNumber("cx", 800, "cx=-12px\n"), -12);
  EXPECT_EQ(FindConfigNumber("cx", 800, "cx=+7\n"), 7);
  EXPECT_EQ(FindConfigNumber("cx", 800, "cx=wide\n"), 0);
  EXPECT_EQ(FindConfigNumber("cx", 800, "cx=- 5\n"), 0);
  EXPECT_EQ(FindConfigNumber("cx", 800, "cx=99999999999999999999\n"), 2147483647);
  EXPECT_EQ(FindConfigNumber("cx", 800, "cx=-99999999999999999999\n"), -2147483647 - 1);
}

TEST(ConfigLookupTest, CutsValuesToTheCapacity) {
  const std::string long_value(300, 'v');
  EXPECT_EQ(Text("run", "run=" + long_value + "\n"), std::string(259, 'v'));
  // Trailing white space is removed after the cut.
  EXPECT_EQ(Text("run", "run=abc   def\n", 7), "abc");
  EXPECT_EQ(Text("run", "run=abc\n", 1), "");
  EXPECT_EQ(Text("run", "run=abc\n", 0), "");
  // A cut never splits a UTF-8 character.
  EXPECT_EQ(Text("title", "title=ab\xC3\xA9z\n", 4), "ab");
  EXPECT_EQ(Text("title", "title=ab\xC3\xA9z\n", 5), "ab\xC3\xA9");
}

// Random bytes, keys and capacities: whatever the document, a found value
// is a piece of one line of it, within the capacity, without surrounding
// white space, and numbers stay numbers.
TEST(ConfigLookupTest, RandomDocumentsAreSafe) {
  std::mt19937 random(20260101);
  static constexpr char kAlphabet[] = "run=cx \t\r\n\0\xC3\xA9-+0123456789title";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  const char* const names[] = {"run", "cx", "title", "=", "", "\n", "n=\r"};
  for (int round = 0; round < 20000; ++round) {
    std::string document(random() % 64, '\0');
    for (char& c : document)
      c = random() % 4 == 0 ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
    const std::string name = names[random() % std::size(names)];
    const size_t capacity = random() % 40;
    std::string value;
    if (FindConfigText(name, value, capacity, document)) {
      EXPECT_LT(value.size(), std::max<size_t>(capacity, 1));
      EXPECT_EQ(value.find('\n'), std::string::npos);
      EXPECT_NE(document.find(value), std::string::npos);
      if (!value.empty()) {
        EXPECT_FALSE(std::isspace(static_cast<unsigned char>(value.front())));
        EXPECT_FALSE(std::isspace(static_cast<unsigned char>(value.back())));
      }
    } else {
      EXPECT_TRUE(value.empty());
    }
    const int32_t number = FindConfigNumber(name, 12345, document);
    if (document.find(name) == std::string::npos) {
      EXPECT_EQ(number, 12345);
    }
  }
}

}  // namespace
}  // namespace norwin::host
