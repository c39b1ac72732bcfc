// What the full-text index takes from one HTML page: its title and the words
// of its text.
//
// The page is read as UTF-8, or as Windows-1252 when it is not valid UTF-8
// (a leading byte-order mark is dropped). Markup, comments, scripts and
// styles are left out; character references (named ones of HTML 4 and
// numeric ones) are decoded. Tags of text-level elements (a, b, i, span,
// font, ...) do not split a word, "<b>H</b>ello" is "hello"; any other tag
// does. A soft hyphen inside a word is dropped.
//
// Words are runs of Windows-1252 letters and digits (IsCp1252WordChar); any
// other character, a character outside Windows-1252 included, ends a word.
// The words of the title count as the page's words too: the title is what
// the result list shows, so a reader expects to find the page by it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace norwin::host {

struct PageText {
  // The text of the first <title> element, references decoded, runs of white
  // space made one blank, blanks at the ends removed; Windows-1252, with '?'
  // for characters it cannot hold. Empty when the page has no title.
  std::string title;
  // The page's words in lower case (LowerCp1252), Windows-1252, each once, in
  // the order of their first appearance. Words longer than kMaxWordLength
  // (index_format.h) cannot be stored in the index and are left out whole,
  // rather than cut to a prefix that would find pages by words they lack.
  std::vector<std::string> words;
};

// Never fails: every byte string reads as some page.
PageText ExtractPageText(std::string_view page);

}  // namespace norwin::host
