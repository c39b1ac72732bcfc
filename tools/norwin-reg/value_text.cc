#include "value_text.h"

#include <cstdio>

namespace norwin::reg {

namespace {

using platform::RegType;
using platform::RegValue;

// 'text' in single quotes, for messages.
std::string Quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('\'');
  out.append(text);
  out.push_back('\'');
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Result<RegValue> ParseDword(std::string_view data) {
  const std::string bad = Quoted(data) +
                          " is not a REG_DWORD number (0 to 4294967295, or 0x and up to eight "
                          "hexadecimal digits).";
  uint64_t n = 0;
  if (data.size() > 2 && data[0] == '0' && (data[1] == 'x' || data[1] == 'X')) {
    const std::string_view digits = data.substr(2);
    if (digits.size() > 8) return Status::Error(bad);
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return Status::Error(bad);
      n = n << 4 | static_cast<uint64_t>(d);
    }
  } else {
    if (data.empty() || data.size() > 10) return Status::Error(bad);
    for (char c : data) {
      if (c < '0' || c > '9') return Status::Error(bad);
      n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (n > UINT32_MAX) return Status::Error(bad);
  }
  return RegValue::Dword(static_cast<uint32_t>(n));
}

Result<RegValue> ParseBinary(std::string_view data) {
  if (data.size() % 2 != 0) {
    return Status::Error("REG_BINARY data needs two hexadecimal digits a byte; '" +
                         std::string(data) + "' has an odd number of digits.");
  }
  std::string bytes;
  bytes.reserve(data.size() / 2);
  for (size_t i = 0; i < data.size(); i += 2) {
    const int hi = HexDigit(data[i]);
    const int lo = HexDigit(data[i + 1]);
    if (hi < 0 || lo < 0) {
      return Status::Error(Quoted(data) + " is not REG_BINARY data (hexadecimal digits only).");
    }
    bytes.push_back(static_cast<char>(hi << 4 | lo));
  }
  return RegValue::Binary(std::move(bytes));
}

Result<RegValue> ParseMultiString(std::string_view data, std::string_view separator) {
  std::vector<std::string> parts;
  if (!data.empty()) {
    while (true) {
      const size_t at = data.find(separator);
      parts.emplace_back(data.substr(0, at));
      if (parts.back().empty()) {
        return Status::Error(
            "REG_MULTI_SZ data cannot hold an empty string (two separators in a row, or one at "
            "either end).");
      }
      if (at == std::string_view::npos) break;
      data.remove_prefix(at + separator.size());
    }
  }
  return RegValue::MultiString(std::move(parts));
}

}  // namespace

Result<RegValue> ParseValueData(RegType type, std::string_view data, std::string_view separator) {
  switch (type) {
    case RegType::kSz:
    case RegType::kExpandSz:
      return RegValue::String(std::string(data), type);
    case RegType::kDword:
      // No data at all sets zero, as an empty string sets an empty text.
      return data.empty() ? RegValue::Dword(0) : ParseDword(data);
    case RegType::kBinary:
      return ParseBinary(data);
    case RegType::kMultiSz:
      return ParseMultiString(data, separator);
  }
  return Status::Error("unknown value type");
}

std::string FormatValueData(const RegValue& value) {
  switch (value.type) {
    case RegType::kSz:
    case RegType::kExpandSz:
      return value.text;
    case RegType::kDword: {
      char buf[16];
      snprintf(buf, sizeof buf, "0x%x", value.dword);
      return buf;
    }
    case RegType::kBinary: {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      std::string out;
      out.reserve(value.bytes.size() * 2);
      for (char c : value.bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0xF]);
      }
      return out;
    }
    case RegType::kMultiSz: {
      std::string out;
      for (size_t i = 0; i < value.strings.size(); ++i) {
        if (i > 0) out.append("\\0");
        out.append(value.strings[i]);
      }
      return out;
    }
  }
  return {};
}

}  // namespace norwin::reg
