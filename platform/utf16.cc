#include "utf16.h"

#include <cstdint>

namespace norwin::platform {

namespace {

void PutUnit(std::string& out, char16_t unit) {
  out.push_back(static_cast<char>(unit & 0xFF));
  out.push_back(static_cast<char>(unit >> 8));
}

void PutUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (size_t i = 0; i < utf8.size();) {
    const auto b0 = static_cast<uint8_t>(utf8[i]);
    char32_t cp;
    size_t len;
    if (b0 < 0x80) {
      cp = b0, len = 1;
    } else if (b0 < 0xE0) {
      cp = b0 & 0x1F, len = 2;
    } else if (b0 < 0xF0) {
      cp = b0 & 0x0F, len = 3;
    } else {
      cp = b0 & 0x07, len = 4;
    }
    for (size_t k = 1; k < len && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      PutUnit(out, static_cast<char16_t>(0xD800 | (cp >> 10)));
      PutUnit(out, static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
    } else {
      PutUnit(out, static_cast<char16_t>(cp));
    }
  }
  return out;
}

Result<std::string> Utf16LeToUtf8(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return Status::Error("UTF-16 text with an odd number of bytes");
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit_at = [&](size_t i) {
    return static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1])
                                                                      << 8);
  };
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const char16_t unit = unit_at(i);
    if (unit >= 0xD800 && unit < 0xDC00) {
      const char16_t low = i + 3 < bytes.size() ? unit_at(i + 2) : 0;
      if (low < 0xDC00 || low >= 0xE000) return Status::Error("UTF-16 text with a lone surrogate");
      PutUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00));
      i += 2;
    } else if (unit >= 0xDC00 && unit < 0xE000) {
      return Status::Error("UTF-16 text with a lone surrogate");
    } else {
      PutUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace norwin::platform
