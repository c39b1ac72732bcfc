#include "norwin/platform/unicode.h"

#include <cstdint>

namespace norwin::platform {

namespace {

void PutUnit(std::string& out, char16_t unit) {
  out.push_back(static_cast<char>(unit & 0xFF));
  out.push_back(static_cast<char>(unit >> 8));
}

}  // namespace

bool DecodeUtf8(std::string_view s, size_t& pos, char32_t& cp) {
  const auto b0 = static_cast<uint8_t>(s[pos]);
  if (b0 < 0x80) {
    cp = b0;
    ++pos;
    return true;
  }
  int len;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (pos + len > s.size()) return false;
  for (int i = 1; i < len; ++i) {
    const auto b = static_cast<uint8_t>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  pos += len;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
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

DecodedUtf16 DecodeUtf16(std::string_view bytes, ByteOrder order) {
  DecodedUtf16 out;
  out.text.reserve(bytes.size() / 2 + bytes.size() / 8);
  const bool big_endian = order == ByteOrder::kBigEndian;
  const auto unit_at = [&](size_t i) -> char16_t {
    const auto b0 = static_cast<uint8_t>(bytes[i]);
    const auto b1 = static_cast<uint8_t>(bytes[i + 1]);
    return static_cast<char16_t>(big_endian ? (b0 << 8 | b1) : (b1 << 8 | b0));
  };
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const char16_t unit = unit_at(i);
    char32_t cp = unit;
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      out.fault = Utf16Fault::kBrokenPair;
      return out;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const char16_t low = i + 3 < bytes.size() ? unit_at(i + 2) : 0;
      if (low < 0xDC00 || low > 0xDFFF) {
        out.fault = Utf16Fault::kBrokenPair;
        return out;
      }
      cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    AppendUtf8(out.text, cp);
  }
  if (i < bytes.size()) out.fault = Utf16Fault::kOddLength;
  return out;
}

Result<std::string> Utf16LeToUtf8(std::string_view bytes) {
  DecodedUtf16 decoded = DecodeUtf16(bytes, ByteOrder::kLittleEndian);
  switch (decoded.fault) {
    case Utf16Fault::kNone:
      return std::move(decoded.text);
    case Utf16Fault::kOddLength:
      return Status::Error("UTF-16 text with an odd number of bytes");
    case Utf16Fault::kBrokenPair:
      break;
  }
  return Status::Error("UTF-16 text with a lone surrogate");
}

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

}  // namespace norwin::platform
