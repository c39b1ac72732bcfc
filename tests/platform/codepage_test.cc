#include "norwin/platform/codepage.h"

#include <gtest/gtest.h>

namespace norwin::platform {
namespace {

TEST(CodepageTest, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  Result<std::string> back = Utf8ToCp1252(utf8);
  ASSERT_TRUE(back.ok()) << back.message();
  EXPECT_EQ(*back, all);
}

TEST(CodepageTest, MapsTheHighRangeToItsOwnCharacters) {
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");
  EXPECT_EQ(Cp1252ToUtf8("caf\xE9 \x93quoted\x94"), "caf\u00E9 \u201Cquoted\u201D");
  EXPECT_EQ(*Utf8ToCp1252("\u0178\u2122"), "\x9F\x99");
}

TEST(CodepageTest, RefusesWhatTheCodePageCannotHoldAndBrokenUtf8) {
  Result<std::string> greek = Utf8ToCp1252("pi \u03C0");
  ASSERT_FALSE(greek.ok());
  EXPECT_NE(greek.message().find("U+03C0"), std::string::npos);
  EXPECT_FALSE(Utf8ToCp1252("\xC3").ok());          // cut short
  EXPECT_FALSE(Utf8ToCp1252("\xC0\xAF").ok());      // overlong
  EXPECT_FALSE(Utf8ToCp1252("\xED\xA0\x80").ok());  // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));    // beyond U+10FFFF
}

}  // namespace
}  // namespace norwin::platform
