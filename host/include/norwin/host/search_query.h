// Reading a search query: the text script hands to Search, split into terms
// of an operator and a word, strictly left to right.
//
// A query is UTF-8. It is cut at its first NUL (the text ends there, as it
// did for the C strings of the original host), converted to Windows-1252,
// stripped of white space (blank, tab, CR, LF, VT, FF) at both ends and
// lower-cased with LowerCp1252. A character that Windows-1252 cannot hold, or
// a byte that is not valid UTF-8, cannot match any index word: the word that
// holds it is marked `matchable = false`.
//
// Terms are separated by white space. A term may begin with an operator:
// "and ", "not " or "or " in any case, the operator word followed by a blank
// (so "and" at the end of the query is a word). Without one the operator is
// OR. The word runs up to the next blank (only the blank ends a word, a tab
// inside a term belongs to the word) or to the end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace norwin::host {

enum class QueryOperator { kOr, kAnd, kNot };

struct QueryTerm {
  QueryOperator op = QueryOperator::kOr;
  std::string_view word;  // lower-case Windows-1252, points into the QueryReader
  bool matchable = true;
};

class QueryReader {
 public:
  // Prepares `query_utf8` for reading; keeps no reference to it. Never fails:
  // every byte string is some query.
  explicit QueryReader(std::string_view query_utf8);

  // The next term, or false at the end of the query. The word of a term stays
  // valid as long as the reader lives.
  bool Next(QueryTerm& term);

  // The prepared text (lower-case Windows-1252, trimmed); for tests.
  const std::string& TextForTesting() const { return text_; }

 private:
  bool HasUnmatchable(size_t begin, size_t end) const;

  std::string text_;
  // Offsets in text_ of characters that cannot match, ascending.
  std::vector<size_t> unmatchable_;
  size_t pos_ = 0;
};

}  // namespace norwin::host
