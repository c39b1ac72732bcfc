#include "norwin/host/word_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "norwin/platform/codepage.h"

namespace norwin::host {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = LowerCp1252(c);
  return s;
}

int Sign(int v) { return (v > 0) - (v < 0); }

// Windows-1252 bytes of UTF-8 text, so that tests can spell words readably.
std::string W(std::string_view utf8) { return *platform::Utf8ToCp1252(utf8); }

TEST(WordOrderTest, FoldsAsciiLatin1AndTheWindowsCapitals) {
  EXPECT_EQ(Lower("ABCXYZ abc 09"), "abcxyz abc 09");
  EXPECT_EQ(Lower("\xC0\xC9\xD6\xD8\xDE"), "\xE0\xE9\xF6\xF8\xFE");  // ÀÉÖØÞ
  EXPECT_EQ(Lower("\x8A\x8C\x8E\x9F"), "\x9A\x9C\x9E\xFF");          // ŠŒŽŸ
  // The multiplication sign sits among the capitals but is none; ß and µ
  // have no capital in the code page.
  EXPECT_EQ(Lower("\xD7\xDF\xB5"), "\xD7\xDF\xB5");
  EXPECT_EQ(CompareIndexWords("CAF\xC9", "caf\xE9"), 0);
  EXPECT_EQ(CompareIndexWords(W("\u0160koda"), W("\u0161KODA")), 0);  // Škoda
}

TEST(WordOrderTest, EqualExactlyWhenTheLowerCaseFormsAreTheSame) {
  // Every pair of characters, alone and after a common letter.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const std::string x(1, static_cast<char>(a)), y(1, static_cast<char>(b));
      const bool same = Lower(x) == Lower(y);
      ASSERT_EQ(CompareIndexWords(x, y) == 0, same) << a << " " << b;
      ASSERT_EQ(CompareIndexWords("e" + x, "e" + y) == 0, same) << a << " " << b;
      ASSERT_EQ(Sign(CompareIndexWords(x, y)), -Sign(CompareIndexWords(y, x))) << a << " " << b;
    }
  }
  // Expansions do not make different words equal: æ is not "ae", ß not "ss".
  EXPECT_NE(CompareIndexWords("\xE6", "ae"), 0);
  EXPECT_NE(CompareIndexWords(W("stra\u00DFe"), "strasse"), 0);
  EXPECT_NE(CompareIndexWords(W("\u00E6e"), W("a\u00E6")), 0);
}

TEST(WordOrderTest, AccentedLettersSortWithTheirBaseLetter) {
  // Ascending, each pair checked both ways.
  const std::vector<std::string> ascending = {
      "9lives",     "a",         "ab",     "ad",           "ae",
      "\xC6",  // Æ, among the "ae" words
      W("\u00E6a"), "af",        "cote",
      "c\xF4te",  // côte: same letters, then the accent decides
      "coter",      "cz",        "d",      "dz",
      "\xF0",  // ð after every d
      "e",          "\xC9t\xE9", "resume", "r\xE9sum\xE9", "resumes", "strasse", W("stra\u00DFe"),
      "strassen",   "zz",
      "\xFE",  // þ after z
      "\xB5",  // µ after þ
  };
  for (size_t i = 0; i + 1 < ascending.size(); ++i) {
    EXPECT_LT(CompareIndexWords(ascending[i], ascending[i + 1]), 0)
        << ascending[i] << " / " << ascending[i + 1];
    EXPECT_GT(CompareIndexWords(ascending[i + 1], ascending[i]), 0);
  }
  // Symbols before digits before letters.
  EXPECT_LT(CompareIndexWords("-", "0"), 0);
  EXPECT_LT(CompareIndexWords("\xBF", "0"), 0);  // ¿
  EXPECT_LT(CompareIndexWords("9", "a"), 0);
  EXPECT_LT(CompareIndexWords("2", "\xB2"), 0);  // ² after 2
  EXPECT_LT(CompareIndexWords("\xB2", "3"), 0);
}

TEST(WordOrderTest, AsciiWordsSortInTheByteOrderOfTheirSmallLetters) {
  std::mt19937 rng(7);
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int i = 0; i < 20000; ++i) {
    std::string a, b;
    const int la = rng() % 6, lb = rng() % 6;
    for (int k = 0; k < la; ++k) a += alphabet[rng() % alphabet.size()];
    b = a.substr(0, rng() % (a.size() + 1));
    for (int k = 0; k < lb; ++k) b += alphabet[rng() % alphabet.size()];
    ASSERT_EQ(Sign(CompareIndexWords(a, b)), Sign(Lower(a).compare(Lower(b)))) << a << " " << b;
  }
}

TEST(WordOrderTest, IsATotalOrderOnRandomText) {
  std::mt19937 rng(11);
  std::vector<std::string> words;
  for (int i = 0; i < 3000; ++i) {
    std::string w;
    const int len = rng() % 5;
    // Mostly letters that expand or carry accents, so ties on the first level are common.
    const std::string pool = W("aAeEsS\u00E6\u00C6\u00DF\u00E9\u00C9\u00F8\u0153\u0152\u00B22-");
    for (int k = 0; k < len; ++k) w += pool[rng() % pool.size()];
    words.push_back(w);
  }
  std::sort(words.begin(), words.end(),
            [](const std::string& a, const std::string& b) { return CompareIndexWords(a, b) < 0; });
  for (size_t i = 0; i + 1 < words.size(); ++i)
    ASSERT_LE(CompareIndexWords(words[i], words[i + 1]), 0) << i;
  // Transitivity over random triples of the sorted list.
  for (int t = 0; t < 20000; ++t) {
    size_t i = rng() % words.size(), j = rng() % words.size();
    if (i > j) std::swap(i, j);
    ASSERT_LE(CompareIndexWords(words[i], words[j]), 0) << words[i] << " " << words[j];
  }
}

TEST(WordOrderTest, WordCharactersAreLettersAndDigits) {
  for (char c : std::string("azAZ09\x83\x8A\x9C\xAA\xB5\xBA\xC0\xD6\xD8\xDF\xF6\xF8\xFF"))
    EXPECT_TRUE(IsCp1252WordChar(c)) << static_cast<int>(static_cast<unsigned char>(c));
  for (char c : std::string(" -'_.,;\t\x80\x85\x96\xA0\xAD\xB2\xB9\xBC\xD7\xF7"))
    EXPECT_FALSE(IsCp1252WordChar(c)) << static_cast<int>(static_cast<unsigned char>(c));
  EXPECT_FALSE(IsCp1252WordChar('\0'));
}

}  // namespace
}  // namespace norwin::host
