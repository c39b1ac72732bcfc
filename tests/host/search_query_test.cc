#include "norwin/host/search_query.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norwin::host {
namespace {

// The terms of a query as "op:word" ("!" before words that cannot match).
std::vector<std::string> Terms(std::string_view query) {
  QueryReader reader(query);
  std::vector<std::string> out;
  QueryTerm term;
  while (reader.Next(term)) {
    const char* op = term.op == QueryOperator::kAnd   ? "and"
                     : term.op == QueryOperator::kNot ? "not"
                                                      : "or";
    out.push_back(std::string(op) + ":" + (term.matchable ? "" : "!") + std::string(term.word));
  }
  return out;
}

using V = std::vector<std::string>;

TEST(SearchQueryTest, ReadsOperatorsAndWordsLeftToRight) {
  EXPECT_EQ(Terms("apple"), V({"or:apple"}));
  EXPECT_EQ(Terms("apple and pear not plum or fig"),
            V({"or:apple", "and:pear", "not:plum", "or:fig"}));
  EXPECT_EQ(Terms("not apple"), V({"not:apple"}));
  EXPECT_EQ(Terms(""), V());
  EXPECT_EQ(Terms(" \t\r\n "), V());
}

TEST(SearchQueryTest, CapitalsAndBlanksDoNotMatter) {
  EXPECT_EQ(Terms("Apple AND Pear NoT Plum Or FIG"), Terms("apple and pear not plum or fig"));
  EXPECT_EQ(Terms("  apple    and    pear  \t"), V({"or:apple", "and:pear"}));
  EXPECT_EQ(Terms("\xC3\x89t\xC3\xA9"), V({"or:\xE9t\xE9"}));  // "Été" in UTF-8
}

TEST(SearchQueryTest, AnOperatorWordNeedsABlankAfterIt) {
  // At the end of the query "and" is a word like any other.
  EXPECT_EQ(Terms("apple and"), V({"or:apple", "or:and"}));
  EXPECT_EQ(Terms("and"), V({"or:and"}));
  EXPECT_EQ(Terms("android notes order"), V({"or:android", "or:notes", "or:order"}));
  // Only the blank ends a word; a tab belongs to it.
  EXPECT_EQ(Terms("and\tpear"), V({"or:and\tpear"}));
  EXPECT_EQ(Terms("and and and"), V({"and:and", "or:and"}));
  EXPECT_EQ(Terms("or  not x"), V({"or:not", "or:x"}));
}

TEST(SearchQueryTest, CharactersOutsideTheCodePageCannotMatch) {
  // "π" (U+03C0) has no Windows-1252 byte, "—" (U+2014) has one.
  EXPECT_EQ(Terms("pi \xCF\x80 caf\xC3\xA9 and \xCF\x80r"),
            V({"or:pi", "or:!?", "or:caf\xE9", "and:!?r"}));
  EXPECT_EQ(Terms("a\xE2\x80\x94"
                  "b"),
            V({"or:a\x97"
               "b"}));
  // Broken UTF-8 is a character that cannot match, never a separator.
  EXPECT_EQ(Terms("x\xC3 y\xFF\xFE z"), V({"or:!x?", "or:!y??", "or:z"}));
  EXPECT_EQ(Terms("\xE2\x82"), V({"or:!??"}));
}

TEST(SearchQueryTest, TheQueryEndsAtItsFirstNul) {
  EXPECT_EQ(Terms(std::string_view("apple\0 and pear", 15)), V({"or:apple"}));
  EXPECT_EQ(Terms(std::string_view("\0apple", 6)), V());
}

}  // namespace
}  // namespace norwin::host
