#include "norwin/host/search_query.h"

#include <algorithm>

#include "norwin/host/word_order.h"
#include "norwin/platform/codepage.h"

namespace norwin::host {

namespace {

bool IsQuerySpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Length of the UTF-8 sequence a lead byte announces; 1 for a byte that
// cannot begin one, so that a broken byte is consumed alone.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  return 1;
}

// Stands for a character that cannot match in the prepared text. Any byte
// would do, the word holding it is never looked up; a blank or an operator
// letter would not.
constexpr char kUnmatchablePlaceholder = '?';

}  // namespace

QueryReader::QueryReader(std::string_view query_utf8) {
  query_utf8 = query_utf8.substr(0, query_utf8.find('\0'));
  if (Result<std::string> whole = platform::Utf8ToCp1252(query_utf8); whole.ok()) {
    text_ = std::move(whole.value());
  } else {
    // Some characters cannot be held: convert one character at a time and
    // remember where the ones that cannot match are.
    text_.reserve(query_utf8.size());
    size_t i = 0;
    while (i < query_utf8.size()) {
      const size_t len = std::min(SequenceLength(static_cast<unsigned char>(query_utf8[i])),
                                  query_utf8.size() - i);
      const std::string_view piece = query_utf8.substr(i, len);
      if (Result<std::string> one = platform::Utf8ToCp1252(piece); one.ok()) {
        text_ += *one;
        i += len;
        continue;
      }
      unmatchable_.push_back(text_.size());
      text_.push_back(kUnmatchablePlaceholder);
      i += platform::IsValidUtf8(piece) ? len : 1;
    }
  }

  size_t end = text_.size();
  while (end > 0 && IsQuerySpace(text_[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && IsQuerySpace(text_[begin])) ++begin;
  text_.resize(end);
  text_.erase(0, begin);
  // The placeholder is no blank, so no offset lies in the trimmed ends.
  for (size_t& at : unmatchable_) at -= begin;
  for (char& c : text_) c = LowerCp1252(c);
}

bool QueryReader::Next(QueryTerm& term) {
  const std::string_view text = text_;
  while (pos_ < text.size()) {
    while (pos_ < text.size() && IsQuerySpace(text[pos_])) ++pos_;
    const std::string_view rest = text.substr(pos_);
    if (rest.starts_with("and ")) {
      term.op = QueryOperator::kAnd;
      pos_ += 4;
    } else if (rest.starts_with("not ")) {
      term.op = QueryOperator::kNot;
      pos_ += 4;
    } else if (rest.starts_with("or ")) {
      term.op = QueryOperator::kOr;
      pos_ += 3;
    } else {
      term.op = QueryOperator::kOr;
    }
    while (pos_ < text.size() && IsQuerySpace(text[pos_])) ++pos_;
    const size_t begin = pos_;
    pos_ = std::min(text.find(' ', begin), text.size());
    // The text is trimmed, so a word always follows; an empty one would be
    // skipped all the same.
    if (pos_ == begin) continue;
    term.word = text.substr(begin, pos_ - begin);
    term.matchable = !HasUnmatchable(begin, pos_);
    return true;
  }
  return false;
}

bool QueryReader::HasUnmatchable(size_t begin, size_t end) const {
  auto it = std::lower_bound(unmatchable_.begin(), unmatchable_.end(), begin);
  return it != unmatchable_.end() && *it < end;
}

}  // namespace norwin::host
