#include "norwin/host/config_lookup.h"

#include <limits>

#include "norwin/host/utf8_text.h"

namespace norwin::host {
namespace {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The position where the value of `name` begins: after the name's first
// occurrence, its "=" (when one comes before the line's end) and the white
// space that follows. npos when the name does not occur; the position of a
// line feed when the value is missing.
size_t ValueStart(std::string_view name, std::string_view document) {
  size_t pos = document.find(name);
  if (pos == std::string_view::npos) return pos;
  while (pos < document.size() && document[pos] != '=' && document[pos] != '\n') ++pos;
  if (pos < document.size() && document[pos] == '=') ++pos;
  while (pos < document.size() && document[pos] != '\n' && IsWhiteSpace(document[pos])) ++pos;
  return pos;
}

}  // namespace

bool FindConfigText(std::string_view name, std::string& destination, size_t capacity,
                    std::string_view document) {
  destination.clear();
  const size_t start = ValueStart(name, document);
  if (start == std::string_view::npos) return false;
  if (start < document.size() && document[start] == '\n') return false;
  std::string_view value = document.substr(start);
  value = value.substr(0, value.find('\n'));
  value = CutToCharacterBoundary(value, capacity == 0 ? 0 : capacity - 1);
  while (!value.empty() && IsWhiteSpace(value.back())) value.remove_suffix(1);
  destination.assign(value);
  return true;
}

int32_t FindConfigNumber(std::string_view name, int32_t default_value, std::string_view document) {
  size_t pos = ValueStart(name, document);
  if (pos == std::string_view::npos) return default_value;
  bool negative = false;
  if (pos < document.size() && (document[pos] == '-' || document[pos] == '+')) {
    negative = document[pos] == '-';
    ++pos;
  }
  // The magnitude saturates at that of the 32-bit minimum, so that huge
  // numbers give the nearest limit instead of overflowing.
  int64_t value = 0;
  constexpr int64_t kLimit = -int64_t{std::numeric_limits<int32_t>::min()};
  for (; pos < document.size() && document[pos] >= '0' && document[pos] <= '9'; ++pos) {
    value = value * 10 + (document[pos] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(
      value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : value);
}

}  // namespace norwin::host
