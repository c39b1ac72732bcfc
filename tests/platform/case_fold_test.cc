#include "norwin/platform/case_fold.h"

#include <gtest/gtest.h>

namespace norwin::platform {
namespace {

TEST(CaseFoldTest, ComparesLettersByTheirUpperCase) {
  EXPECT_TRUE(EqualsIgnoringCase("Start.HTM", "start.htm"));
  EXPECT_TRUE(
      EqualsIgnoringCase("\xC3\x89"
                         "cole",
                         "\xC3\xA9"
                         "COLE"));  // École
  EXPECT_TRUE(EqualsIgnoringCase("", ""));
  EXPECT_FALSE(EqualsIgnoringCase("start.htm", "start.html"));
  EXPECT_FALSE(EqualsIgnoringCase("start", "Stark"));
  // One character against one, as Windows compares: ß is not "SS".
  EXPECT_FALSE(
      EqualsIgnoringCase("Stra\xC3\x9F"
                         "e",
                         "STRASSE"));
  EXPECT_FALSE(EqualsIgnoringCase("[", "{"));  // not folded like letters
  // Broken UTF-8 compares byte by byte, ASCII letters folded.
  EXPECT_TRUE(EqualsIgnoringCase("caf\xE9-A", "CAF\xE9-a"));
  EXPECT_FALSE(EqualsIgnoringCase("caf\xE9", "caf\xC9"));

  EXPECT_TRUE(StartsWithIgnoringCase("HTTP://host", "http:"));
  EXPECT_TRUE(StartsWithIgnoringCase("abc", ""));
  EXPECT_TRUE(StartsWithIgnoringCase("\xC3\xA9t\xC3\xA9", "\xC3\x89T"));
  EXPECT_FALSE(StartsWithIgnoringCase("ht", "http"));
}

}  // namespace
}  // namespace norwin::platform
