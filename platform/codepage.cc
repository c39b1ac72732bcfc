#include "norwin/platform/codepage.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "norwin/platform/unicode.h"

namespace norwin::platform {

namespace {

// Code points of bytes 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80)
      out.push_back(c);
    else if (b < 0xA0)
      AppendUtf8(out, kHighControls[b - 0x80]);
    else
      AppendUtf8(out, b);
  }
  return out;
}

Result<std::string> Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = pos;
    char32_t cp;
    if (!DecodeUtf8(text, pos, cp))
      return Status::Error("text is not valid UTF-8 at byte " + std::to_string(start));
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    bool found = false;
    for (size_t i = 0; i < kHighControls.size(); ++i) {
      if (kHighControls[i] == cp) {
        out.push_back(static_cast<char>(0x80 + i));
        found = true;
        break;
      }
    }
    if (!found) {
      char name[16];
      snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(cp));
      return Status::Error("the character " + std::string(text.substr(start, pos - start)) + " (" +
                           name + ") cannot be written in the Windows-1252 code page");
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  size_t pos = 0;
  char32_t cp;
  while (pos < text.size())
    if (!DecodeUtf8(text, pos, cp)) return false;
  return true;
}

}  // namespace norwin::platform
