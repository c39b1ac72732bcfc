#include "norwin/host/page_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <unordered_set>

#include "html_entities.h"
#include "norwin/host/index_format.h"
#include "norwin/host/word_order.h"
#include "norwin/platform/codepage.h"

namespace norwin::host {

namespace {

// Decodes one character of valid UTF-8 at `pos` and moves past it.
char32_t NextCodePoint(std::string_view s, size_t& pos) {
  const auto b0 = static_cast<unsigned char>(s[pos++]);
  if (b0 < 0x80) return b0;
  int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : 1;
  char32_t cp = b0 & (0x3F >> extra);
  while (extra-- > 0 && pos < s.size())
    cp = (cp << 6) | (static_cast<unsigned char>(s[pos++]) & 0x3F);
  return cp;
}

// The characters of bytes 0x80 to 0x9F of Windows-1252, taken from the
// system layer's conversion so that the two never disagree.
const std::array<char32_t, 32>& HighCharacters() {
  static const std::array<char32_t, 32> table = [] {
    std::array<char32_t, 32> t{};
    for (int i = 0; i < 32; ++i) {
      const char byte = static_cast<char>(0x80 + i);
      const std::string utf8 = platform::Cp1252ToUtf8(std::string_view(&byte, 1));
      size_t pos = 0;
      t[i] = NextCodePoint(utf8, pos);
    }
    return t;
  }();
  return table;
}

// The Windows-1252 byte of a character, or nullopt when it has none.
std::optional<char> ToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  const auto& high = HighCharacters();
  for (size_t i = 0; i < high.size(); ++i)
    if (high[i] == cp) return static_cast<char>(0x80 + i);
  return std::nullopt;
}

bool IsHtmlSpace(char32_t cp) {
  return cp == ' ' || cp == '\t' || cp == '\n' || cp == '\f' || cp == '\r';
}

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiAlnum(char c) { return IsAsciiAlpha(c) || (c >= '0' && c <= '9'); }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Elements whose tags sit inside running text without separating words.
bool IsTextLevelElement(std::string_view name) {
  static constexpr std::string_view kNames[] = {
      "a",     "abbr", "acronym", "b",      "bdi", "bdo", "big",  "cite", "code", "data", "del",
      "dfn",   "em",   "font",    "i",      "ins", "kbd", "mark", "nobr", "q",    "s",    "samp",
      "small", "span", "strike",  "strong", "sub", "sup", "time", "tt",   "u",    "var",  "wbr"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// Position of the end tag "</name" (any case) at or after `from`, or npos.
size_t FindEndTag(std::string_view s, size_t from, std::string_view name) {
  for (size_t at = s.find("</", from); at != std::string_view::npos; at = s.find("</", at + 2)) {
    if (at + 2 + name.size() > s.size()) return std::string_view::npos;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) same = AsciiLower(s[at + 2 + i]) == name[i];
    if (!same) continue;
    const size_t after = at + 2 + name.size();
    if (after == s.size() || !IsAsciiAlnum(s[after])) return at;
  }
  return std::string_view::npos;
}

// Gathers the words of the page as text flows past.
class WordCollector {
 public:
  explicit WordCollector(std::vector<std::string>& words) : words_(words) {}

  void Add(char32_t cp) {
    if (cp == 0xAD) return;  // soft hyphen: a hint for line breaks, not a character
    const std::optional<char> byte = ToCp1252(cp);
    if (!byte || !IsCp1252WordChar(*byte)) {
      Break();
      return;
    }
    if (current_.size() <= kMaxWordLength) current_.push_back(LowerCp1252(*byte));
  }

  void Break() {
    if (!current_.empty() && current_.size() <= kMaxWordLength && seen_.insert(current_).second)
      words_.push_back(current_);
    current_.clear();
  }

 private:
  std::vector<std::string>& words_;
  std::unordered_set<std::string> seen_;
  // The word so far; one character longer than allowed marks a word too long.
  std::string current_;
};

class Extractor {
 public:
  Extractor(std::string_view html, PageText& out) : s_(html), out_(out), words_(out.words) {}

  void Run() {
    while (pos_ < s_.size()) {
      if (s_[pos_] == '<' && Markup()) continue;
      // Text up to the next tag; a '<' that opens none is text itself.
      const size_t end = std::min(s_.find('<', pos_ + 1), s_.size());
      Text(s_.substr(pos_, end - pos_), nullptr);
      pos_ = end;
    }
    words_.Break();
    CollapseTitle();
  }

 private:
  // Handles the markup at pos_ ('<'); false when the '<' opens none.
  bool Markup() {
    const std::string_view rest = s_.substr(pos_);
    if (rest.starts_with("<!--")) {
      const size_t end = s_.find("-->", pos_ + 4);
      pos_ = end == std::string_view::npos ? s_.size() : end + 3;
      words_.Break();
      return true;
    }
    if (rest.starts_with("<!") || rest.starts_with("<?")) {
      SkipPast('>');
      words_.Break();
      return true;
    }
    const bool closing = rest.starts_with("</");
    const size_t name_at = pos_ + (closing ? 2 : 1);
    if (name_at >= s_.size() || !IsAsciiAlpha(s_[name_at])) return false;
    std::string name;
    size_t p = name_at;
    while (p < s_.size() && IsAsciiAlnum(s_[p])) name.push_back(AsciiLower(s_[p++]));
    pos_ = p;
    SkipAttributes();
    if (!IsTextLevelElement(name)) words_.Break();
    if (closing) return true;

    if (name == "script" || name == "style") {
      SkipTo(FindEndTag(s_, pos_, name));
    } else if (name == "title" || name == "textarea") {
      // Their content is text without markup: up to the end tag.
      const size_t end = std::min(FindEndTag(s_, pos_, name), s_.size());
      std::string* title = name == "title" && !seen_title_ ? &out_.title : nullptr;
      if (name == "title") seen_title_ = true;
      Text(s_.substr(pos_, end - pos_), title);
      words_.Break();
      pos_ = end;
    }
    return true;
  }

  // Moves past the attributes of a tag and its closing '>'. A quote opens a
  // value only after '=', so a stray apostrophe cannot swallow the page.
  void SkipAttributes() {
    char last = '\0';
    while (pos_ < s_.size() && s_[pos_] != '>') {
      const char c = s_[pos_];
      if ((c == '"' || c == '\'') && last == '=') {
        const size_t close = s_.find(c, pos_ + 1);
        pos_ = close == std::string_view::npos ? s_.size() : close + 1;
        last = c;
        continue;
      }
      if (!IsHtmlSpace(static_cast<unsigned char>(c))) last = c;
      ++pos_;
    }
    if (pos_ < s_.size()) ++pos_;
  }

  void SkipPast(char c) {
    const size_t at = s_.find(c, pos_);
    pos_ = at == std::string_view::npos ? s_.size() : at + 1;
  }
  void SkipTo(size_t at) { pos_ = std::min(at, s_.size()); }

  // Feeds text with its references decoded to the words and, when `title`
  // is given, to the title.
  void Text(std::string_view text, std::string* title) {
    size_t p = 0;
    while (p < text.size()) {
      char32_t cp;
      if (text[p] == '&') {
        cp = Reference(text, p);
      } else {
        cp = NextCodePoint(text, p);
      }
      words_.Add(cp);
      // A NUL would end the title where the index stores it.
      if (title && cp != 0) title->push_back(ToCp1252(cp).value_or('?'));
    }
  }

  // Decodes the reference at text[p] ('&') and moves past it; a '&' that
  // begins no known reference is the character itself.
  static char32_t Reference(std::string_view text, size_t& p) {
    size_t q = p + 1;
    if (q < text.size() && text[q] == '#') {
      ++q;
      const bool hex = q < text.size() && (text[q] == 'x' || text[q] == 'X');
      if (hex) ++q;
      uint32_t value = 0;
      const size_t digits_at = q;
      while (q < text.size() && q - digits_at < 8) {
        const char c = text[q];
        int digit;
        if (c >= '0' && c <= '9')
          digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
          digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
          digit = c - 'A' + 10;
        else
          break;
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
        ++q;
      }
      if (q == digits_at) return text[p++];
      while (q < text.size() && (text[q] >= '0' && text[q] <= '9')) ++q;  // absurdly long
      if (q < text.size() && text[q] == ';') ++q;
      p = q;
      // As browsers do: 0x80-0x9F are the characters of Windows-1252, and
      // what is no character becomes the replacement character.
      if (value >= 0x80 && value <= 0x9F) return HighCharacters()[value - 0x80];
      if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0xFFFD;
      return value;
    }
    while (q < text.size() && q - p <= 10 && IsAsciiAlnum(text[q])) ++q;
    const std::string_view name = text.substr(p + 1, q - p - 1);
    if (q < text.size() && text[q] == ';') {
      if (std::optional<char32_t> cp = LookupHtmlEntity(name)) {
        p = q + 1;
        return *cp;
      }
    }
    // Browsers also take the old Latin-1 names and "&amp;" without their
    // semicolon, the longest that fits ("&nbspx" is a blank and "x"), which
    // older pages rely on.
    for (size_t len = name.size(); len >= 2; --len) {
      std::optional<char32_t> cp = LookupHtmlEntity(name.substr(0, len));
      if (cp && *cp <= 0xFF) {
        p += 1 + len;
        return *cp;
      }
    }
    return text[p++];
  }

  void CollapseTitle() {
    std::string collapsed;
    for (char c : out_.title) {
      if (IsHtmlSpace(static_cast<unsigned char>(c))) {
        if (!collapsed.empty() && collapsed.back() != ' ') collapsed.push_back(' ');
      } else {
        collapsed.push_back(c);
      }
    }
    if (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
    out_.title = std::move(collapsed);
  }

  std::string_view s_;
  size_t pos_ = 0;
  PageText& out_;
  WordCollector words_;
  bool seen_title_ = false;
};

}  // namespace

PageText ExtractPageText(std::string_view page) {
  std::string converted;
  if (!platform::IsValidUtf8(page)) {
    converted = platform::Cp1252ToUtf8(page);
    page = converted;
  }
  if (page.starts_with("\xEF\xBB\xBF")) page.remove_prefix(3);
  PageText out;
  Extractor(page, out).Run();
  return out;
}

}  // namespace norwin::host
