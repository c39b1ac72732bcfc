// Guid: a class identifier (CLSID) and its text form
// "{4B9F0BC2-4EBA-4108-8A41-3617B5EBCC91}", as the registry stores it.
//
// The layout is that of the platform's GUID (a 32-bit, two 16-bit and eight
// 8-bit fields), so that identifiers read the same in text and in memory.
// Standard layout and trivially copyable: it crosses the in-process server
// interface (inproc_server.h) by pointer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norwin::automation {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};

  // Reads "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hexadecimal digits in
  // either case, the braces required); nullopt for anything else.
  static constexpr std::optional<Guid> Parse(std::string_view text);

  // The text form with upper-case digits and braces.
  std::string ToString() const;

  constexpr bool operator==(const Guid&) const = default;
};

namespace guid_internal {

constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits at `text[pos]`; nullopt when one is not.
constexpr std::optional<uint32_t> ReadHex(std::string_view text, size_t pos, size_t digits) {
  uint32_t value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int d = HexDigit(text[pos + i]);
    if (d < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(d);
  }
  return value;
}

}  // namespace guid_internal

constexpr std::optional<Guid> Guid::Parse(std::string_view text) {
  using guid_internal::ReadHex;
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-') {
    return std::nullopt;
  }
  Guid g;
  const auto d1 = ReadHex(text, 1, 8);
  const auto d2 = ReadHex(text, 10, 4);
  const auto d3 = ReadHex(text, 15, 4);
  if (!d1 || !d2 || !d3) return std::nullopt;
  g.data1 = *d1;
  g.data2 = static_cast<uint16_t>(*d2);
  g.data3 = static_cast<uint16_t>(*d3);
  // The last two groups are the eight bytes in order.
  constexpr size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    const auto b = ReadHex(text, kBytePos[i], 2);
    if (!b) return std::nullopt;
    g.data4[i] = static_cast<uint8_t>(*b);
  }
  return g;
}

// A Guid from a literal, checked while compiling:
// `constexpr Guid kClsid = MakeGuid("{4B9F0BC2-4EBA-4108-8A41-3617B5EBCC91}");`
consteval Guid MakeGuid(std::string_view text) {
  const std::optional<Guid> g = Guid::Parse(text);
  if (!g) throw "not a GUID in the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  return *g;
}

}  // namespace norwin::automation
