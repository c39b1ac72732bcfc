#include "text_encoding.h"

#include <glib.h>

#include <cstdint>

#include "norwin/platform/codepage.h"

namespace norwin::automation::text_encoding {

namespace {

void AppendUtf8(std::string& out, gunichar c) {
  char buf[6];
  out.append(buf, static_cast<size_t>(g_unichar_to_utf8(c, buf)));
}

std::string DecodeUtf16(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t i) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                 static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  };
  for (size_t i = 0; i < units; ++i) {
    const uint16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
        unit(i + 1) <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800u) << 10) + (unit(i + 1) - 0xDC00u));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  if (bytes.size() % 2 != 0) AppendUtf8(out, 0xFFFD);  // half a character at the end
  return out;
}

std::string EncodeUtf16(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  auto put = [&](uint32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c >= 0x80000000u) {  // not UTF-8: one byte read as Windows-1252
      c = g_utf8_get_char(platform::Cp1252ToUtf8(std::string_view(p, 1)).c_str());
      ++p;
    } else {
      p = g_utf8_next_char(p);
    }
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  return out;
}

std::string EncodeCp1252(std::string_view text) {
  if (Result<std::string> whole = platform::Utf8ToCp1252(text); whole.ok()) return *whole;
  // Character by character, with "?" for what the code page lacks.
  std::string out;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const gunichar c = g_utf8_get_char_validated(p, end - p);
    const char* next = c >= 0x80000000u ? p + 1 : g_utf8_next_char(p);
    Result<std::string> one = platform::Utf8ToCp1252(std::string_view(p, next - p));
    out += one.ok() ? *one : std::string("?");
    p = next;
  }
  return out;
}

}  // namespace

TextStream::Encoding Detect(std::string_view bytes, bool unicode) {
  if (unicode || bytes.starts_with(kUtf16Mark)) return TextStream::Encoding::kUtf16;
  if (platform::IsValidUtf8(bytes)) return TextStream::Encoding::kUtf8;
  return TextStream::Encoding::kCp1252;
}

std::string Decode(std::string_view bytes, TextStream::Encoding encoding) {
  switch (encoding) {
    case TextStream::Encoding::kUtf16:
      if (bytes.starts_with(kUtf16Mark)) bytes.remove_prefix(kUtf16Mark.size());
      return DecodeUtf16(bytes);
    case TextStream::Encoding::kCp1252:
      return platform::Cp1252ToUtf8(bytes);
    case TextStream::Encoding::kUtf8:
      break;
  }
  if (bytes.starts_with(kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
  return std::string(bytes);
}

std::string Encode(std::string_view text, TextStream::Encoding encoding) {
  switch (encoding) {
    case TextStream::Encoding::kUtf16:
      return EncodeUtf16(text);
    case TextStream::Encoding::kCp1252:
      return EncodeCp1252(text);
    case TextStream::Encoding::kUtf8:
      break;
  }
  return std::string(text);
}

}  // namespace norwin::automation::text_encoding
