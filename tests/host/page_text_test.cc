#include "norwin/host/page_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norwin::host {
namespace {

using V = std::vector<std::string>;

TEST(PageTextTest, TakesTheTitleDecodedAndCollapsed) {
  EXPECT_EQ(ExtractPageText("<html><head><TITLE>\n  Fish &amp;\tChips   &eacute;t&#233; </title>"
                            "</head><body>x</body></html>")
                .title,
            "Fish & Chips \xE9t\xE9");
  EXPECT_EQ(ExtractPageText("<p>no title here</p>").title, "");
  EXPECT_EQ(ExtractPageText("<title>  </title>").title, "");
  // Only the first title counts; markup inside it is text.
  EXPECT_EQ(ExtractPageText("<title>One <b>x</b></title><title>Two</title>").title, "One <b>x</b>");
  // Characters outside Windows-1252 become '?'; its own high characters stay.
  EXPECT_EQ(ExtractPageText("<title>\xCF\x80 \xE2\x80\x94 &euro;5</title>").title,
            "? \x97 \x80"
            "5");
}

TEST(PageTextTest, TakesTheWordsOfTheVisibleTextOnce) {
  const PageText text = ExtractPageText(
      "<html><head><title>Cells</title><style>p { color: red }</style>"
      "<script type=\"text/javascript\">var hidden = '<p>script</p>';</script></head>"
      "<body><!-- a comment --><p class=\"x\" title='tooltip'>The cell, the NUCLEUS.</p>"
      "<p>Cell2 walls</p><textarea>typed</textarea></body></html>");
  EXPECT_EQ(text.words, V({"cells", "the", "cell", "nucleus", "cell2", "walls", "typed"}));
}

TEST(PageTextTest, TextLevelTagsJoinLettersOtherTagsSplitThem) {
  EXPECT_EQ(ExtractPageText("<b>H</b>ello <i>w</i>or<span>ld</span>").words, V({"hello", "world"}));
  EXPECT_EQ(ExtractPageText("one<br>two<p>three</p>four<div>five</div>").words,
            V({"one", "two", "three", "four", "five"}));
  EXPECT_EQ(ExtractPageText("photo&shy;syn\xC2\xAD"
                            "thesis")
                .words,
            V({"photosynthesis"}));
}

TEST(PageTextTest, DecodesReferencesAndSplitsAtNonLetters) {
  EXPECT_EQ(
      ExtractPageText("caf&eacute; &Eacute;T&Eacute; &#x43;&#97;t na&iuml;ve&nbsp;word").words,
      V({"caf\xE9", "\xE9t\xE9", "cat", "na\xEFve", "word"}));
  // Legacy names work without their semicolon; unknown names stay text.
  EXPECT_EQ(ExtractPageText("caf&eacute au&nbspx &bogus; &#;").words,
            V({"caf\xE9", "au", "x", "bogus"}));
  // 0x80-0x9F as numbers mean the code page's characters, as in browsers.
  EXPECT_EQ(ExtractPageText("don&#146;t &#138;koda").words, V({"don", "t", "\x9Akoda"}));
  // A character outside Windows-1252 ends a word.
  EXPECT_EQ(ExtractPageText("alpha&beta;gamma x\xCF\x80y").words, V({"alpha", "gamma", "x", "y"}));
  EXPECT_EQ(ExtractPageText("a-b c'd e_f 3.14 \xC2\xB2 m\xC2\xB2").words,
            V({"a", "b", "c", "d", "e", "f", "3", "14", "m"}));
}

TEST(PageTextTest, LeavesOutWordsTooLongForTheIndex) {
  const std::string nineteen(19, 'x');
  const std::string twenty(20, 'y');
  EXPECT_EQ(ExtractPageText("short " + nineteen + " " + twenty + " " + twenty + "z end").words,
            V({"short", nineteen, "end"}));
}

TEST(PageTextTest, ReadsWindows1252WhenThePageIsNotUtf8) {
  const PageText text =
      ExtractPageText("<title>Caf\xE9</title><p>\xC9T\xC9 na\xEFve \x93quoted\x94</p>");
  EXPECT_EQ(text.title, "Caf\xE9");
  EXPECT_EQ(text.words, V({"caf\xE9", "\xE9t\xE9", "na\xEFve", "quoted"}));
  // A byte-order mark is no text.
  EXPECT_EQ(ExtractPageText("\xEF\xBB\xBFword").words, V({"word"}));
}

TEST(PageTextTest, SurvivesBrokenMarkup) {
  EXPECT_EQ(ExtractPageText("a < b and c<3 <").words, V({"a", "b", "and", "c", "3"}));
  EXPECT_EQ(ExtractPageText("before<script>never closed").words, V({"before"}));
  EXPECT_EQ(ExtractPageText("x<!-- never closed").words, V({"x"}));
  EXPECT_EQ(ExtractPageText("x<a href=\"unterminated").words, V({"x"}));
  EXPECT_EQ(ExtractPageText("<p title=don't>it's</p>").words, V({"it", "s"}));
  EXPECT_EQ(ExtractPageText("<title>open").title, "open");
  EXPECT_EQ(ExtractPageText(std::string("a\0b", 3)).words, V({"a", "b"}));
  EXPECT_EQ(ExtractPageText("&#99999999999;&#x110000;ok").words, V({"ok"}));
}

}  // namespace
}  // namespace norwin::host
