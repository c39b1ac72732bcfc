#include "norwin/platform/reg_file.h"

#include <cstdio>

#include "norwin/platform/unicode.h"

namespace norwin::platform {

namespace {

constexpr std::string_view kEol = "\r\n";
// Registry editors keep hexadecimal lines within 80 columns.
constexpr size_t kMaxLine = 80;

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

// Appends bytes as "01,02,ff" to the line that began at `line_start`,
// continuing on lines that begin with two blanks; each line but the last ends
// in ",\".
void AppendHex(std::string& out, size_t line_start, std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  size_t column = out.size() - line_start;
  bool line_has_bytes = false;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const bool last = i + 1 == bytes.size();
    // Two digits, a comma unless last, and room for the backslash.
    if (line_has_bytes && column + 2 + (last ? 0 : 1) + 1 > kMaxLine) {
      out.append("\\").append(kEol).append("  ");
      column = 2;
    }
    const auto b = static_cast<unsigned char>(bytes[i]);
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
    column += 2;
    if (!last) {
      out.push_back(',');
      ++column;
    }
    line_has_bytes = true;
  }
}

std::string Utf16WithTerminator(std::string_view text) {
  std::string bytes = Utf8ToUtf16Le(text);
  bytes.append(2, '\0');
  return bytes;
}

void AppendValue(std::string& out, const RegNamedValue& named) {
  const size_t line_start = out.size();
  if (named.name.empty()) {
    out.push_back('@');
  } else {
    AppendQuoted(out, named.name);
  }
  out.push_back('=');
  const RegValue& v = named.value;
  switch (v.type) {
    case RegType::kSz:
      if (v.text.find_first_of("\r\n") == std::string::npos) {
        AppendQuoted(out, v.text);
      } else {
        out.append("hex(1):");
        AppendHex(out, line_start, Utf16WithTerminator(v.text));
      }
      break;
    case RegType::kExpandSz:
      out.append("hex(2):");
      AppendHex(out, line_start, Utf16WithTerminator(v.text));
      break;
    case RegType::kDword: {
      char buf[16];
      snprintf(buf, sizeof buf, "dword:%08x", v.dword);
      out.append(buf);
      break;
    }
    case RegType::kBinary:
      out.append("hex:");
      AppendHex(out, line_start, v.bytes);
      break;
    case RegType::kMultiSz: {
      std::string bytes;
      for (const std::string& part : v.strings) bytes.append(Utf16WithTerminator(part));
      bytes.append(2, '\0');
      out.append("hex(7):");
      AppendHex(out, line_start, bytes);
      break;
    }
  }
  out.append(kEol);
}

}  // namespace

std::string WriteRegFile(std::span<const RegKeyContents> keys) {
  std::string out = "Windows Registry Editor Version 5.00";
  out.append(kEol).append(kEol);
  for (const RegKeyContents& key : keys) {
    out.append("[").append(key.path).append("]").append(kEol);
    for (const RegNamedValue& value : key.values) AppendValue(out, value);
    out.append(kEol);
  }
  return out;
}

}  // namespace norwin::platform
