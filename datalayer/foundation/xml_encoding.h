// Private to the XML DOM: turning the bytes of a document into the UTF-8 text
// the parser reads, the checks that keep the text and names of a document
// valid, and positions (line, column) of faults in a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer::internal {

// The document's bytes as UTF-8 text. `converted` tells whether `text` holds
// the text (the bytes were UTF-16, Windows-1252 or Latin-1) or whether the
// bytes were UTF-8 already and `text` is empty. On a fault, `status` and
// `reason` say what is wrong and `fault_offset` where, counted in the UTF-8
// text: the bytes themselves when not converted, else `text`, which then holds
// what was converted before the fault.
struct DecodedXml {
  XmlParseStatus status = XmlParseStatus::kOk;
  std::string reason;
  size_t fault_offset = 0;
  bool converted = false;
  std::string text;
};
DecodedXml DecodeXml(std::string_view bytes);

// The offset of the first byte of `text` that is not part of valid UTF-8 or
// is a NUL character; text.size() when there is none.
size_t FindInvalidText(std::string_view text);
inline bool IsValidText(std::string_view text) { return FindInvalidText(text) == text.size(); }

// Joins pieces of text into one string (for messages).
std::string StrCat(std::initializer_list<std::string_view> parts);

// Whether `name` is an XML name (an element or attribute name).
bool IsXmlName(std::string_view name);

// White space as XML (and so the parser and Text()) knows it.
constexpr bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// `s` without white space at either end, as Text() gives a node's text.
inline std::string_view TrimXmlSpace(std::string_view s) {
  while (!s.empty() && IsXmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsXmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Where `offset` lies in `text`: 1-based line and column (in characters; a
// byte-order mark does not count), and the line itself as valid UTF-8, cut
// around the offset when it is long.
struct TextPosition {
  int64_t line = 1;
  int64_t column = 1;
  std::string line_text;
};
TextPosition PositionAt(std::string_view text, size_t offset);

}  // namespace norwin::datalayer::internal
