#include "norwin/host/progress_format.h"

#include <cstring>

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

bool LineBelongsTo(std::string_view content, size_t begin, std::string_view name) {
  return content.size() - begin > name.size() && content[begin + name.size()] == '=' &&
         content.compare(begin, name.size(), name) == 0;
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

std::optional<std::string_view> FindStoredValue(std::string_view content, std::string_view name) {
  const std::optional<CookieLine> line = FindCookieLine(content, name);
  if (!line) return std::nullopt;
  std::string_view value =
      content.substr(line->begin + name.size(), line->text_end - line->begin - name.size());
  const size_t start = value.find_first_not_of(" \t=");
  value = start == std::string_view::npos ? std::string_view() : value.substr(start);
  return value.substr(0, value.find('\0'));
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

  const std::string_view from_equals =
      content.substr(line->begin + name.size(), line->text_end - line->begin - name.size());
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
  out.append(content.substr(line->begin, line->text_end - line->begin));
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
