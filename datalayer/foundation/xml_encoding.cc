#include "xml_encoding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "norwin/platform/codepage.h"
#include "norwin/platform/unicode.h"

namespace norwin::datalayer::internal {

namespace {

enum class SourceEncoding { kUtf8, kUtf16Le, kUtf16Be, kWindows1252, kLatin1, kUnsupported };

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

bool IsOneOf(std::string_view label, std::initializer_list<std::string_view> names) {
  return std::any_of(names.begin(), names.end(),
                     [label](std::string_view n) { return EqualsIgnoringCase(label, n); });
}

// The value of the `encoding` pseudo-attribute of the XML declaration at the
// start of `bytes`; empty when there is no declaration or it names none.
std::string_view DeclaredEncoding(std::string_view bytes) {
  if (bytes.size() < 6 || bytes.substr(0, 5) != "<?xml" || !IsXmlSpace(bytes[5])) return {};
  // A declaration is short; do not scan a whole document that lacks its end.
  const std::string_view head = bytes.substr(0, 1024);
  const size_t end = head.find("?>");
  if (end == std::string_view::npos) return {};
  const std::string_view decl = head.substr(0, end);
  size_t pos = 5;
  while ((pos = decl.find("encoding", pos)) != std::string_view::npos) {
    const bool starts_word = IsXmlSpace(decl[pos - 1]);
    pos += 8;
    if (!starts_word) continue;
    size_t i = pos;
    while (i < decl.size() && IsXmlSpace(decl[i])) ++i;
    if (i >= decl.size() || decl[i] != '=') continue;
    ++i;
    while (i < decl.size() && IsXmlSpace(decl[i])) ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return {};
    const char quote = decl[i++];
    const size_t close = decl.find(quote, i);
    if (close == std::string_view::npos) return {};
    return decl.substr(i, close - i);
  }
  return {};
}

SourceEncoding EncodingFromLabel(std::string_view label) {
  // UTF-16 names and ASCII in a document whose declaration reads as 8-bit
  // text: the bytes cannot be UTF-16, so they are read as UTF-8, of which
  // ASCII is a part.
  if (label.empty() || IsOneOf(label, {"utf-8", "utf8", "us-ascii", "ascii", "utf-16", "utf16",
                                       "utf-16le", "utf-16be", "ucs-2", "unicode"}))
    return SourceEncoding::kUtf8;
  if (IsOneOf(label, {"windows-1252", "cp1252", "cp-1252", "x-cp1252", "ms-ansi"}))
    return SourceEncoding::kWindows1252;
  if (IsOneOf(label, {"iso-8859-1", "iso8859-1", "iso_8859-1", "iso_8859-1:1987", "latin1",
                      "latin-1", "l1", "ibm819", "cp819", "iso-ir-100", "csisolatin1"}))
    return SourceEncoding::kLatin1;
  return SourceEncoding::kUnsupported;
}

void DecodeUtf16(std::string_view bytes, platform::ByteOrder order, DecodedXml& out) {
  out.converted = true;
  platform::DecodedUtf16 decoded = platform::DecodeUtf16(bytes, order);
  out.text = std::move(decoded.text);
  const auto fail = [&](std::string reason, size_t offset) {
    out.status = XmlParseStatus::kInvalidCharacter;
    out.reason = std::move(reason);
    out.fault_offset = offset;
  };
  // A NUL comes before any later fault.
  if (const size_t nul = out.text.find('\0'); nul != std::string::npos) {
    out.text.resize(nul);
    return fail("The document holds a NUL character.", nul);
  }
  switch (decoded.fault) {
    case platform::Utf16Fault::kNone:
      return;
    case platform::Utf16Fault::kBrokenPair:
      return fail("The document holds a broken UTF-16 pair.", out.text.size());
    case platform::Utf16Fault::kOddLength:
      return fail("The document ends in the middle of a UTF-16 character.", out.text.size());
  }
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char c : bytes) platform::AppendUtf8(out, static_cast<uint8_t>(c));
  return out;
}

// Replaces what is not valid text with U+FFFD, so that a line around a fault
// can be shown.
std::string Printable(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const size_t bad = FindInvalidText(text);
    out.append(text.substr(0, bad));
    if (bad == text.size()) break;
    out.append("\xEF\xBF\xBD");
    text.remove_prefix(bad + 1);
  }
  return out;
}

bool IsContinuation(char c) { return (static_cast<uint8_t>(c) & 0xC0) == 0x80; }

}  // namespace

size_t FindInvalidText(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  size_t i = 0;
  while (i < size) {
    // Most of a record is ASCII: check eight bytes at once. With no high bit
    // set, adding 0x7F to each byte sets its high bit exactly when it is not
    // NUL, and no byte carries into the next.
    while (i + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, p + i, sizeof word);
      if ((word & kHigh) != 0 || ((word + kLow7) & kHigh) != kHigh) break;
      i += 8;
    }
    if (i >= size) break;
    const unsigned char b = p[i];
    if (b == 0) return i;
    if (b < 0x80) {
      ++i;
      continue;
    }
    char32_t code_point;
    if (!platform::DecodeUtf8(text, i, code_point)) return i;
  }
  return size;
}

DecodedXml DecodeXml(std::string_view bytes) {
  DecodedXml out;
  SourceEncoding encoding = SourceEncoding::kUtf8;
  size_t bom = 0;
  if (bytes.substr(0, 3) == kUtf8Bom) {
    encoding = SourceEncoding::kUtf8;
  } else if (bytes.substr(0, 2) == "\xFF\xFE") {
    encoding = SourceEncoding::kUtf16Le, bom = 2;
  } else if (bytes.substr(0, 2) == "\xFE\xFF") {
    encoding = SourceEncoding::kUtf16Be, bom = 2;
  } else if (bytes.substr(0, 4) == std::string_view("<\0?\0", 4)) {
    encoding = SourceEncoding::kUtf16Le;
  } else if (bytes.substr(0, 4) == std::string_view("\0<\0?", 4)) {
    encoding = SourceEncoding::kUtf16Be;
  } else {
    const std::string_view label = DeclaredEncoding(bytes);
    encoding = EncodingFromLabel(label);
    if (encoding == SourceEncoding::kUnsupported) {
      out.status = XmlParseStatus::kUnsupportedEncoding;
      out.reason = StrCat({"The document's encoding \"", Printable(label), "\" is not supported."});
      out.fault_offset = static_cast<size_t>(label.data() - bytes.data());
      return out;
    }
  }

  switch (encoding) {
    case SourceEncoding::kUtf16Le:
    case SourceEncoding::kUtf16Be:
      DecodeUtf16(bytes.substr(bom),
                  encoding == SourceEncoding::kUtf16Be ? platform::ByteOrder::kBigEndian
                                                       : platform::ByteOrder::kLittleEndian,
                  out);
      return out;
    case SourceEncoding::kWindows1252:
      out.converted = true;
      out.text = platform::Cp1252ToUtf8(bytes);
      break;
    case SourceEncoding::kLatin1:
      out.converted = true;
      out.text = Latin1ToUtf8(bytes);
      break;
    case SourceEncoding::kUtf8:
    case SourceEncoding::kUnsupported:
      break;
  }

  const std::string_view text = out.converted ? std::string_view(out.text) : bytes;
  const size_t bad = FindInvalidText(text);
  if (bad != text.size()) {
    out.status = XmlParseStatus::kInvalidCharacter;
    out.fault_offset = bad;
    if (text[bad] == '\0') {
      out.reason = "The document holds a NUL character.";
    } else {
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02X",
                    static_cast<unsigned>(static_cast<uint8_t>(text[bad])));
      out.reason = StrCat({"The document holds a byte that is not UTF-8 text (", byte,
                           "); a document in another encoding must declare it."});
    }
  }
  return out;
}

std::string StrCat(std::initializer_list<std::string_view> parts) {
  size_t size = 0;
  for (std::string_view p : parts) size += p.size();
  std::string out;
  out.reserve(size);
  for (std::string_view p : parts) out.append(p);
  return out;
}

bool IsXmlName(std::string_view name) {
  if (name.empty() || !IsValidText(name)) return false;
  const auto allowed = [](unsigned char c, bool first) {
    if (c >= 0x80) return true;  // letters of other scripts
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':') return true;
    return !first && ((c >= '0' && c <= '9') || c == '.' || c == '-');
  };
  if (!allowed(static_cast<unsigned char>(name[0]), true)) return false;
  return std::all_of(name.begin() + 1, name.end(),
                     [&](char c) { return allowed(static_cast<unsigned char>(c), false); });
}

TextPosition PositionAt(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  TextPosition pos;
  size_t line_start = 0;
  for (size_t i = 0; i < offset; ++i) {
    const char c = text[i];
    if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
      ++pos.line;
      line_start = i + 1;
    }
  }
  if (line_start == 0 && text.substr(0, 3) == kUtf8Bom) line_start = std::min<size_t>(3, offset);
  for (size_t i = line_start; i < offset; ++i) {
    if (!IsContinuation(text[i])) ++pos.column;
  }

  size_t line_end = text.find_first_of("\r\n", line_start);
  if (line_end == std::string_view::npos) line_end = text.size();
  // Long lines (a whole record on one line is common) are cut around the fault.
  constexpr size_t kBefore = 80;
  constexpr size_t kWidth = 160;
  size_t from = offset > line_start + kBefore ? offset - kBefore : line_start;
  while (from > line_start && IsContinuation(text[from])) --from;
  size_t to = std::min(line_end, from + kWidth);
  while (to < line_end && IsContinuation(text[to])) ++to;
  pos.line_text = Printable(text.substr(from, to - from));
  return pos;
}

}  // namespace norwin::datalayer::internal
