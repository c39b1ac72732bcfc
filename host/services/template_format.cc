#include "norwin/host/template_format.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "norwin/host/utf8_text.h"
#include "norwin/platform/unicode.h"

namespace norwin::host {
namespace {

struct Conversion {
  bool left = false;
  bool zero = false;
  bool alternate = false;
  size_t width = 0;
  bool has_precision = false;
  size_t precision = 0;
  char type = 0;
};

// The first `count` characters of `text`.
std::string_view FirstCharacters(std::string_view text, size_t count) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (seen == count) return text.substr(0, i);
      ++seen;
    }
  }
  return text;
}

// Reads decimal digits at `pos`; huge numbers saturate (the result is cut to
// the output limit anyway).
size_t ReadNumber(std::string_view format, size_t& pos) {
  size_t value = 0;
  while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
    value = std::min<size_t>(value * 10 + static_cast<size_t>(format[pos] - '0'), 1 << 20);
    ++pos;
  }
  return value;
}

void AppendCodePoint(std::string& out, uint64_t code) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return;
  platform::AppendUtf8(out, static_cast<char32_t>(code));
}

std::string_view ToChars(char* buffer, size_t size, uint64_t value, int base, bool upper) {
  auto [end, ignored] = std::to_chars(buffer, buffer + size, value, base);
  (void)ignored;
  if (upper) std::transform(buffer, end, buffer, [](char c) { return c >= 'a' ? c - 32 : c; });
  return std::string_view(buffer, static_cast<size_t>(end - buffer));
}

// Pads `body` (preceded by `sign_or_prefix`, which zero padding goes behind)
// to the conversion's width.
void AppendPadded(std::string& out, const Conversion& conversion, std::string_view sign_or_prefix,
                  std::string_view body, bool zero_allowed) {
  const size_t length = sign_or_prefix.size() + CountCharacters(body);
  const size_t pad = conversion.width > length ? conversion.width - length : 0;
  if (conversion.left) {
    out += sign_or_prefix;
    out += body;
    out.append(pad, ' ');
  } else if (conversion.zero && zero_allowed) {
    out += sign_or_prefix;
    out.append(pad, '0');
    out += body;
  } else {
    out.append(pad, ' ');
    out += sign_or_prefix;
    out += body;
  }
}

void AppendText(std::string& out, const Conversion& conversion, std::string_view text) {
  if (conversion.has_precision) text = FirstCharacters(text, conversion.precision);
  AppendPadded(out, conversion, {}, text, /*zero_allowed=*/false);
}

void AppendInteger(std::string& out, const Conversion& conversion, bool negative,
                   uint64_t magnitude) {
  char buffer[24];
  const bool hex = conversion.type == 'x' || conversion.type == 'X';
  std::string_view digits =
      ToChars(buffer, sizeof buffer, magnitude, hex ? 16 : 10, conversion.type == 'X');
  std::string body;
  if (conversion.has_precision) {
    if (conversion.precision == 0 && magnitude == 0) digits = {};
    if (conversion.precision > digits.size())
      body.append(conversion.precision - digits.size(), '0');
  }
  body += digits;
  std::string_view prefix;
  if (negative)
    prefix = "-";
  else if (hex && conversion.alternate && magnitude != 0)
    prefix = conversion.type == 'X' ? "0X" : "0x";
  AppendPadded(out, conversion, prefix, body, /*zero_allowed=*/!conversion.has_precision);
}

// A signed value under an unsigned conversion shows its two's complement,
// in 32 bits when it fits there (as wsprintf shows an int).
uint64_t AsUnsigned(const FormatArg& arg) {
  if (arg.kind() != FormatArg::Kind::kSigned) return arg.unsigned_value();
  const int64_t value = arg.signed_value();
  if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max())
    return static_cast<uint32_t>(static_cast<int32_t>(value));
  return static_cast<uint64_t>(value);
}

void AppendArgument(std::string& out, const Conversion& conversion, const FormatArg* arg) {
  static const FormatArg kMissingText{std::string_view()};
  static const FormatArg kMissingNumber{0};
  const bool wants_text = conversion.type == 's' || conversion.type == 'S';
  const bool wants_char = conversion.type == 'c' || conversion.type == 'C';
  if (!arg) arg = wants_text ? &kMissingText : &kMissingNumber;

  if (arg->kind() == FormatArg::Kind::kText) {
    std::string_view text = arg->text();
    if (wants_char) text = FirstCharacters(text, 1);
    AppendText(out, conversion, text);
    return;
  }
  if (wants_char || (arg->kind() == FormatArg::Kind::kChar && wants_text)) {
    std::string one;
    if (arg->kind() == FormatArg::Kind::kChar)
      one += static_cast<char>(arg->unsigned_value());
    else
      AppendCodePoint(one, AsUnsigned(*arg));
    Conversion plain = conversion;
    plain.has_precision = false;
    AppendText(out, plain, one);
    return;
  }
  const bool is_signed_conversion = wants_text || conversion.type == 'd' || conversion.type == 'i';
  if (is_signed_conversion && arg->kind() == FormatArg::Kind::kSigned) {
    const int64_t value = arg->signed_value();
    const uint64_t magnitude =
        value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    AppendInteger(out, conversion, value < 0, magnitude);
    return;
  }
  Conversion numeric = conversion;
  if (wants_text) numeric.type = 'u';
  AppendInteger(out, numeric, false, AsUnsigned(*arg));
}

}  // namespace

std::string FormatTemplate(std::string_view format, std::span<const FormatArg> args,
                           size_t max_bytes) {
  std::string out;
  out.reserve(std::min(format.size() + 64, max_bytes + 8));
  size_t next_arg = 0;
  size_t pos = 0;
  // Stops as soon as the limit is passed: a width of a million characters
  // costs no more than the limit.
  while (pos < format.size() && out.size() <= max_bytes) {
    const size_t percent = format.find('%', pos);
    if (percent == std::string_view::npos) {
      out.append(format.substr(pos, max_bytes + 1 - out.size()));
      break;
    }
    out.append(format.substr(pos, percent - pos));
    pos = percent + 1;
    if (pos >= format.size()) {
      out += '%';
      break;
    }
    Conversion conversion;
    for (; pos < format.size(); ++pos) {
      const char c = format[pos];
      if (c == '-')
        conversion.left = true;
      else if (c == '0')
        conversion.zero = true;
      else if (c == '#')
        conversion.alternate = true;
      else
        break;
    }
    // Padding beyond the limit would be cut anyway.
    conversion.width = std::min(ReadNumber(format, pos), max_bytes + 1);
    if (pos < format.size() && format[pos] == '.') {
      ++pos;
      conversion.has_precision = true;
      conversion.precision = std::min(ReadNumber(format, pos), max_bytes + 1);
    }
    if (format.substr(pos).starts_with("I64"))
      pos += 3;
    else if (pos < format.size() && (format[pos] == 'l' || format[pos] == 'h'))
      ++pos;
    if (pos >= format.size()) break;
    conversion.type = format[pos++];
    switch (conversion.type) {
      case 's':
      case 'S':
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'c':
      case 'C': {
        const FormatArg* arg = next_arg < args.size() ? &args[next_arg] : nullptr;
        ++next_arg;
        AppendArgument(out, conversion, arg);
        break;
      }
      default:
        out += conversion.type;  // "%%" and unknown types stand for themselves
        break;
    }
  }
  out.resize(CutToCharacterBoundary(out, max_bytes).size());
  return out;
}

}  // namespace norwin::host
