// What must hold for the progress-file functions whatever the file holds:
// shared by the random-input test and the fuzz target. Header-only, so that
// the fuzz target can take it without the test binaries' support code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/host/progress_format.h"

namespace norwin::testing {

// Takes a cookie name (first byte: length, then its bytes without line
// breaks), a value (next byte: length, then its bytes) and the rest as a
// file's content, and checks every operation on them. Returns what went
// wrong; empty when all holds.
inline std::string CheckProgressFormat(std::string_view input) {
  using namespace norwin::host;
  auto take = [&input](size_t max) {
    if (input.empty()) return std::string_view();
    const size_t size =
        std::min<size_t>(static_cast<uint8_t>(input[0]) % (max + 1), input.size() - 1);
    const std::string_view out = input.substr(1, size);
    input.remove_prefix(1 + size);
    return out;
  };
  // Names and values come from script, always UTF-8.
  std::string name;
  for (char c : take(8))
    if (c != '\r' && c != '\n') name.push_back(c);
  name = LineTextAsUtf8(name);
  const std::string value_text = LineTextAsUtf8(take(40));
  const std::string_view value = value_text;
  const std::string_view content = input;

  const std::optional<CookieLine> line = FindCookieLine(content, name);
  if (line) {
    if (line->begin != 0 && content[line->begin - 1] != '\n') return "line not at a line start";
    const std::string text =
        LineTextAsUtf8(content.substr(line->begin, line->text_end - line->begin));
    if (text.compare(0, name.size(), name) != 0 || text.size() <= name.size() ||
        text[name.size()] != '=')
      return "line does not begin with the name and '='";
    if (line->text_end > line->next || line->next > content.size()) return "line bounds";
    if (content.substr(line->begin, line->text_end - line->begin).find('\n') != std::string::npos)
      return "line text holds a line feed";
    if (line->next < content.size() && content[line->next - 1] != '\n') return "line end";
  }
  const std::optional<std::string> found = FindStoredValue(content, name);
  if (found.has_value() != line.has_value()) return "value found without its line";
  if (found && (found->find('\n') != std::string::npos || found->find('\0') != std::string::npos))
    return "value holds a line feed or NUL";

  const std::string stored = EncodeCookieValue(value);
  if (stored.find('\n') != std::string::npos || stored.find('\0') != std::string::npos)
    return "stored value holds a line feed or NUL";
  // Without carriage returns of its own, a value comes back with each line
  // feed as CR LF.
  const std::string_view plain = value.substr(0, value.find('\0'));
  if (plain.find('\r') == std::string_view::npos) {
    std::string with_crlf;
    for (char c : plain) with_crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    if (DecodeCookieValue(stored) != with_crlf) return "value does not come back";
  }
  const std::string expected(
      stored.substr(std::min(stored.find_first_not_of(" \t="), stored.size())));

  const std::string set = ContentWithCookie(content, name, stored);
  if (FindStoredValue(set, name) != std::optional<std::string_view>(expected))
    return "set value does not read back";
  if (line) {
    if (set.size() != content.size() - (line->next - line->begin) + name.size() + 1 +
                          stored.size() + kProgressLineEnd.size() ||
        std::string_view(set).substr(set.size() - (content.size() - line->next)) !=
            content.substr(line->next))
      return "set did not keep the other lines";
  } else if (std::string_view(set).substr(0, content.size()) != content) {
    return "set of a new cookie did not keep the content";
  }

  const std::string chip = std::string(stored) + std::string(kChipSeparator);
  const std::optional<std::string> chipped = ContentWithChip(content, name, stored);
  if (!chipped) {
    // The line is compared as it reads (a line in Windows-1252 as UTF-8),
    // as a chip from script is UTF-8.
    if (!line || LineTextAsUtf8(content.substr(line->begin, line->text_end - line->begin))
                         .substr(name.size())
                         .find(chip) == std::string::npos)
      return "chip left out although missing";
  } else {
    const std::optional<CookieLine> added = FindCookieLine(*chipped, name);
    if (!added || added->begin != (line ? 0 : added->begin)) return "chip line misplaced";
    if (std::string_view(*chipped)
            .substr(added->begin, added->text_end - added->begin)
            .find(chip) == std::string_view::npos)
      return "chip missing after appending";
    if (ContentWithChip(*chipped, name, stored)) return "chip appended twice";
  }

  const std::optional<std::string> deleted = ContentWithoutCookie(content, name);
  if (deleted.has_value() != line.has_value()) return "delete disagrees with find";
  if (deleted && (FindCookieLine(*deleted, name) || deleted->size() >= content.size()))
    return "delete left a line of the cookie";
  return {};
}

}  // namespace norwin::testing
