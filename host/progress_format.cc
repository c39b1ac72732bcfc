#include "norwin/host/progress_format.h"

#include <cstring>

#include "norwin/platform/codepage.h"

namespace norwin::host {

namespace {

// The end of the line's text that begins at `begin`, and where the next line
// begins.
CookieLine LineAt(std::string_view content, size_t begin) {
  CookieLine line;
  line.begin = begin;
  const void* lf = std::memchr(content.data() + begin, '\n', content.size() - begin);
  if (!lf) {
    line.text_end = line.next = content.size();
    return line;
  }
  const size_t at = static_cast<size_t>(static_cast<const char*>(lf) - content.data());
  line.next = at + 1;
  line.text_end = at > begin && content[at - 1] == '\r' ? at - 1 : at;
  return line;
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// The number of characters of UTF-8 `text`: its bytes that begin one.
size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

bool BeginsWithNameAndEquals(std::string_view text, std::string_view name) {
  return text.size() > name.size() && text[name.size()] == '=' && text.starts_with(name);
}

bool LineBelongsTo(std::string_view content, size_t begin, std::string_view name) {
  const bool same_bytes = BeginsWithNameAndEquals(content.substr(begin), name);
  // An ASCII name reads the same in both encodings; the bytes decide.
  if (IsAscii(name)) return same_bytes;
  const CookieLine line = LineAt(content, begin);
  const std::string_view text = content.substr(begin, line.text_end - begin);
  if (platform::IsValidUtf8(text)) return same_bytes;
  // A Windows-1252 line: each byte is one character, so the name's
  // characters and the "=" lie within its first bytes.
  return BeginsWithNameAndEquals(platform::Cp1252ToUtf8(text.substr(0, CharacterCount(name) + 1)),
                                 name);
}

// The text of `line` in UTF-8.
std::string LineText(std::string_view content, const CookieLine& line) {
  return LineTextAsUtf8(content.substr(line.begin, line.text_end - line.begin));
}

// Appends a line of the cookie: name, "=", the value's parts and a line end.
void AppendLine(std::string& out, std::string_view name, std::string_view value,
                std::string_view suffix = {}) {
  out.append(name).append(1, '=').append(value).append(suffix).append(kProgressLineEnd);
}

// `content` followed by a new line of the cookie, with a line end first if
// the content's last line lacks one (appending to it would join the two).
std::string ContentWithNewLine(std::string_view content, std::string_view name,
                               std::string_view value, std::string_view suffix = {}) {
  std::string out;
  out.reserve(content.size() + kProgressLineEnd.size() * 2 + name.size() + value.size() +
              suffix.size() + 1);
  out.append(content);
  if (!content.empty() && content.back() != '\n') out.append(kProgressLineEnd);
  AppendLine(out, name, value, suffix);
  return out;
}

}  // namespace

std::string EncodeCookieValue(std::string_view value) {
  value = value.substr(0, value.find('\0'));
  std::string out;
  out.reserve(value.size() + 1);
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
      out.append("\r\r");
      ++i;
    } else if (c == '\n') {
      out.append("\r\r");
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string DecodeCookieValue(std::string_view stored) {
  std::string out;
  out.reserve(stored.size());
  for (size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '\r' && i + 1 < stored.size() && stored[i + 1] == '\r') {
      out.append("\r\n");
      ++i;
    } else {
      out.push_back(stored[i]);
    }
  }
  return out;
}

std::optional<CookieLine> FindCookieLine(std::string_view content, std::string_view name) {
  size_t begin = 0;
  while (begin < content.size()) {
    if (LineBelongsTo(content, begin, name)) return LineAt(content, begin);
    const void* lf = std::memchr(content.data() + begin, '\n', content.size() - begin);
    if (!lf) break;
    begin = static_cast<size_t>(static_cast<const char*>(lf) - content.data()) + 1;
  }
  return std::nullopt;
}

std::string LineTextAsUtf8(std::string_view text) {
  return platform::IsValidUtf8(text) ? std::string(text) : platform::Cp1252ToUtf8(text);
}

std::string ContentAsUtf8(std::string_view content) {
  std::string out;
  out.reserve(content.size());
  size_t begin = 0;
  while (begin < content.size()) {
    const CookieLine line = LineAt(content, begin);
    out.append(LineTextAsUtf8(content.substr(begin, line.text_end - begin)));
    out.append(content.substr(line.text_end, line.next - line.text_end));
    begin = line.next;
  }
  return out;
}

std::optional<std::string> FindStoredValue(std::string_view content, std::string_view name) {
  const std::optional<CookieLine> line = FindCookieLine(content, name);
  if (!line) return std::nullopt;
  // The line's text begins with the name and "=" in UTF-8.
  const std::string text = LineText(content, *line);
  std::string_view value = std::string_view(text).substr(name.size());
  const size_t start = value.find_first_not_of(" \t=");
  value = start == std::string_view::npos ? std::string_view() : value.substr(start);
  return std::string(value.substr(0, value.find('\0')));
}

std::string ContentWithCookie(std::string_view content, std::string_view name,
                              std::string_view stored_value) {
  const std::optional<CookieLine> line = FindCookieLine(content, name);
  if (!line) return ContentWithNewLine(content, name, stored_value);
  std::string out;
  out.reserve(content.size() - (line->next - line->begin) + name.size() + stored_value.size() +
              kProgressLineEnd.size() + 1);
  AppendLine(out, name, stored_value);
  out.append(content.substr(0, line->begin));
  out.append(content.substr(line->next));
  return out;
}

std::optional<std::string> ContentWithChip(std::string_view content, std::string_view name,
                                           std::string_view stored_chip) {
  const std::optional<CookieLine> line = FindCookieLine(content, name);
  if (!line) return ContentWithNewLine(content, name, stored_chip, kChipSeparator);

  // The line goes on in UTF-8, whatever it was written in, so that the chip
  // (UTF-8) and the rest of the line read back in one encoding.
  const std::string text = LineText(content, *line);
  const std::string_view from_equals = std::string_view(text).substr(name.size());
  // The chip with its separator, searched for without building a string.
  size_t at = from_equals.find(stored_chip);
  while (at != std::string_view::npos) {
    if (from_equals.substr(at + stored_chip.size(), kChipSeparator.size()) == kChipSeparator)
      return std::nullopt;
    at = from_equals.find(stored_chip, at + 1);
  }

  std::string out;
  out.reserve(content.size() + stored_chip.size() + kChipSeparator.size() +
              kProgressLineEnd.size() + 1);
  out.append(text);
  out.append(stored_chip).append(kChipSeparator).append(kProgressLineEnd);
  out.append(content.substr(0, line->begin));
  out.append(content.substr(line->next));
  return out;
}

std::optional<std::string> ContentWithoutCookie(std::string_view content, std::string_view name) {
  std::optional<std::string> out;
  size_t kept_from = 0;  // start of the lines not yet copied
  size_t begin = 0;
  while (begin < content.size()) {
    const CookieLine line = LineAt(content, begin);
    if (LineBelongsTo(content, begin, name)) {
      if (!out) out.emplace().reserve(content.size());
      out->append(content.substr(kept_from, begin - kept_from));
      kept_from = line.next;
    }
    begin = line.next;
  }
  if (out) out->append(content.substr(kept_from));
  return out;
}

}  // namespace norwin::host
