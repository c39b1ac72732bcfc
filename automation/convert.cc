#include "norwin/automation/convert.h"

#include <glib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace norwin::automation {

namespace {

// The value of an object where the language wants a plain value: that of its
// default member (438 when it has none, 91 for Nothing).
Variant DefaultValue(const Variant& v) {
  Object* object = v.object();
  if (!object) throw RuntimeError(kObjectNotSet);
  Variant value;
  object->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, {}, &value);
  // An object whose value is again an object has no plain value.
  if (value.Resolve().IsObject()) throw RuntimeError(kTypeMismatch);
  return value;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

// "&H1F", "&O17", "&17": a 16-bit value while it fits in four hex digits,
// otherwise 32-bit, as the language's literals are.
std::optional<double> ParseRadixNumber(std::string_view s) {
  int base = 8;
  s.remove_prefix(1);  // '&'
  if (!s.empty() && (s.front() == 'H' || s.front() == 'h')) {
    base = 16;
    s.remove_prefix(1);
  } else if (!s.empty() && (s.front() == 'O' || s.front() == 'o')) {
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : s) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFu) value = 0x100000000u;  // too large; keeps counting cheap
  }
  if (value > 0xFFFFFFFFu) return std::numeric_limits<double>::infinity();
  if (value <= 0xFFFF) return static_cast<double>(static_cast<int16_t>(value));
  return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

// Round-trips through the language's string and number rules: what the
// Variant holds when it is a string that reads as a number.
double NumberFromString(const std::string& text) {
  std::optional<double> n = ParseNumber(text);
  if (!n) throw RuntimeError(kTypeMismatch);
  return *n;
}

template <typename Int>
Int ToInteger(const Variant& value) {
  const Variant& v = value.Resolve();
  double d;
  switch (v.type()) {
    case VT_EMPTY:
      return 0;
    case VT_NULL:
      throw RuntimeError(kInvalidUseOfNull);
    case VT_BOOL:
      d = v.bool_value() ? -1 : 0;
      break;
    case VT_I2:
      d = v.i2();
      break;
    case VT_I4:
      d = v.i4();
      break;
    case VT_UI1:
      d = v.ui1();
      break;
    case VT_R8:
      d = v.r8();
      break;
    case VT_DATE:
      d = v.date().value;
      break;
    case VT_BSTR:
      d = NumberFromString(v.string());
      break;
    case VT_DISPATCH:
      return ToInteger<Int>(DefaultValue(v));
    default:
      if (v.IsByRef()) return ToInteger<Int>(v.Deref());
      throw RuntimeError(kTypeMismatch);
  }
  d = RoundHalfEven(d);
  // NaN fails both tests.
  if (!(d >= std::numeric_limits<Int>::min() && d <= std::numeric_limits<Int>::max())) {
    throw RuntimeError(kOverflow);
  }
  return static_cast<Int>(d);
}

}  // namespace

double RoundHalfEven(double value) {
  const double floor = std::floor(value);
  const double diff = value - floor;
  if (diff < 0.5) return floor;
  if (diff > 0.5) return floor + 1;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

std::optional<double> ParseNumber(std::string_view text) {
  std::string_view s = TrimBlanks(text);
  if (s.empty()) return std::nullopt;
  if (s.front() == '&') return ParseRadixNumber(s);

  // Copy the number without its thousands separators into the form
  // std::from_chars reads (no leading '+'), which, unlike strtod, does not
  // depend on the process's locale.
  char buf[128];
  size_t n = 0;
  size_t i = 0;
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') {
    negative = s[i] == '-';
    ++i;
  }
  if (negative) buf[n++] = '-';
  // The decimal magnitude tells an overflow from an underflow when the value
  // is out of a Double's range.
  int integer_digits = 0;  // significant digits before the point
  int leading_zeros = 0;   // zeros right after the point, before any digit
  int mantissa_digits = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      if (n >= sizeof buf - 8) return std::nullopt;
      if (integer_digits > 0 || c != '0') ++integer_digits;
      ++mantissa_digits;
      buf[n++] = c;
    } else if (c == ',' && mantissa_digits > 0) {
      // Thousands separators: the language does not check their spacing.
    } else {
      break;
    }
  }
  if (i < s.size() && s[i] == '.') {
    buf[n++] = '.';
    bool seen_digit = false;
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      if (n >= sizeof buf - 8) return std::nullopt;
      seen_digit |= s[i] != '0';
      if (!seen_digit) ++leading_zeros;
      ++mantissa_digits;
      buf[n++] = s[i];
    }
  }
  if (mantissa_digits == 0) return std::nullopt;
  int exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    buf[n++] = 'e';
    ++i;
    int sign = 1;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      sign = s[i] == '-' ? -1 : 1;
      if (sign < 0) buf[n++] = '-';
      ++i;
    }
    const size_t digits_start = i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      if (n >= sizeof buf - 1) return std::nullopt;
      exponent = std::min(exponent * 10 + (s[i] - '0'), 100000);
      buf[n++] = s[i];
    }
    if (i == digits_start) return std::nullopt;
    exponent *= sign;
  }
  if (i != s.size()) return std::nullopt;

  double value = 0;
  auto [end, ec] = std::from_chars(buf, buf + n, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    const int magnitude = (integer_digits > 0 ? integer_digits : -leading_zeros) + exponent;
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) value = -value;
  } else if (ec != std::errc() || end != buf + n) {
    return std::nullopt;
  }
  return value;
}

std::string FormatNumber(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (value == 0) return "0";  // also -0
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  for (char* p = buf; p != end; ++p) {
    if (*p == 'e') *p = 'E';
  }
  return std::string(buf, end);
}

std::string ToString(const Variant& value) {
  const Variant& v = value.Resolve();
  switch (v.type()) {
    case VT_EMPTY:
      return std::string();
    case VT_NULL:
      throw RuntimeError(kInvalidUseOfNull);
    case VT_BOOL:
      return std::string(FormatBool(v.bool_value()));
    case VT_I2:
      return std::to_string(v.i2());
    case VT_I4:
      return std::to_string(v.i4());
    case VT_UI1:
      return std::to_string(v.ui1());
    case VT_R8:
      return FormatNumber(v.r8());
    case VT_DATE:
      return FormatDate(v.date());
    case VT_BSTR:
      return v.string();
    case VT_DISPATCH:
      return ToString(DefaultValue(v));
    default:
      if (v.IsByRef()) return ToString(v.Deref());
      throw RuntimeError(kTypeMismatch);
  }
}

bool ToBool(const Variant& value) {
  const Variant& v = value.Resolve();
  switch (v.type()) {
    case VT_EMPTY:
      return false;
    case VT_NULL:
      throw RuntimeError(kInvalidUseOfNull);
    case VT_BOOL:
      return v.bool_value();
    case VT_I2:
      return v.i2() != 0;
    case VT_I4:
      return v.i4() != 0;
    case VT_UI1:
      return v.ui1() != 0;
    case VT_R8:
      return v.r8() != 0;
    case VT_DATE:
      return v.date().value != 0;
    case VT_BSTR: {
      std::string_view s = TrimBlanks(v.string());
      if (EqualsIgnoringCase(s, "true")) return true;
      if (EqualsIgnoringCase(s, "false")) return false;
      return NumberFromString(v.string()) != 0;
    }
    case VT_DISPATCH:
      return ToBool(DefaultValue(v));
    default:
      if (v.IsByRef()) return ToBool(v.Deref());
      throw RuntimeError(kTypeMismatch);
  }
}

int16_t ToInt16(const Variant& value) { return ToInteger<int16_t>(value); }
int32_t ToInt32(const Variant& value) { return ToInteger<int32_t>(value); }
uint8_t ToByte(const Variant& value) { return ToInteger<uint8_t>(value); }

double ToDouble(const Variant& value) {
  const Variant& v = value.Resolve();
  switch (v.type()) {
    case VT_EMPTY:
      return 0;
    case VT_NULL:
      throw RuntimeError(kInvalidUseOfNull);
    case VT_BOOL:
      return v.bool_value() ? -1 : 0;
    case VT_I2:
      return v.i2();
    case VT_I4:
      return v.i4();
    case VT_UI1:
      return v.ui1();
    case VT_R8:
      return v.r8();
    case VT_DATE:
      return v.date().value;
    case VT_BSTR: {
      const double d = NumberFromString(v.string());
      if (std::isinf(d)) throw RuntimeError(kOverflow);
      return d;
    }
    case VT_DISPATCH:
      return ToDouble(DefaultValue(v));
    default:
      if (v.IsByRef()) return ToDouble(v.Deref());
      throw RuntimeError(kTypeMismatch);
  }
}

Date ToDate(const Variant& value) {
  const Variant& v = value.Resolve();
  double d;
  switch (v.type()) {
    case VT_EMPTY:
      return Date{0};
    case VT_NULL:
      throw RuntimeError(kInvalidUseOfNull);
    case VT_DATE:
      return v.date();
    case VT_BSTR: {
      std::optional<Date> date = ParseDate(v.string());
      if (!date) throw RuntimeError(kTypeMismatch);
      return *date;
    }
    case VT_DISPATCH:
      return ToDate(DefaultValue(v));
    case VT_BOOL:
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_R8:
      d = ToDouble(v);
      break;
    default:
      if (v.IsByRef()) return ToDate(v.Deref());
      throw RuntimeError(kTypeMismatch);
  }
  if (!IsValidDate(d)) throw RuntimeError(kOverflow);
  return Date{d};
}

Variant ChangeType(const Variant& value, VarType type) {
  switch (type) {
    case VT_EMPTY:
      return Variant();
    case VT_NULL:
      return Variant::Null();
    case VT_BSTR:
      return Variant(ToString(value));
    case VT_BOOL:
      return Variant(ToBool(value));
    case VT_I2:
      return Variant(ToInt16(value));
    case VT_I4:
      return Variant(ToInt32(value));
    case VT_UI1:
      return Variant(ToByte(value));
    case VT_R8:
      return Variant(ToDouble(value));
    case VT_DATE:
      return Variant(ToDate(value));
    case VT_DISPATCH: {
      Variant v = value.Deref();
      if (!v.IsObject()) throw RuntimeError(kTypeMismatch);
      return v;
    }
    case VT_VARIANT:
      return value.Deref();
    default:
      throw RuntimeError(kTypeMismatch);
  }
}

int CompareStrings(std::string_view a, std::string_view b, CompareMode mode) {
  if (mode == CompareMode::kText) {
    bool ascii = true;
    for (char c : a) ascii &= static_cast<unsigned char>(c) < 0x80;
    for (char c : b) ascii &= static_cast<unsigned char>(c) < 0x80;
    if (!ascii && g_utf8_validate(a.data(), static_cast<gssize>(a.size()), nullptr) &&
        g_utf8_validate(b.data(), static_cast<gssize>(b.size()), nullptr)) {
      gchar* fa = g_utf8_casefold(a.data(), static_cast<gssize>(a.size()));
      gchar* fb = g_utf8_casefold(b.data(), static_cast<gssize>(b.size()));
      const int c = std::string_view(fa).compare(fb);
      g_free(fa);
      g_free(fb);
      return (c > 0) - (c < 0);
    }
    // ASCII letters fold; other bytes compare as they are.
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      unsigned char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
      if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
      if (x != y) return x < y ? -1 : 1;
    }
    return (a.size() > b.size()) - (a.size() < b.size());
  }
  const int c = a.compare(b);
  return (c > 0) - (c < 0);
}

std::optional<int> Compare(const Variant& a_in, const Variant& b_in, CompareMode mode) {
  Variant a = a_in.Deref();
  Variant b = b_in.Deref();
  if (a.IsObject()) a = DefaultValue(a);
  if (b.IsObject()) b = DefaultValue(b);
  if (a.IsNull() || b.IsNull()) return std::nullopt;
  if (a.type() == VT_ERROR || b.type() == VT_ERROR) throw RuntimeError(kTypeMismatch);
  if (a.IsEmpty() && b.IsEmpty()) return 0;
  const bool a_text = a.IsString() || (a.IsEmpty() && b.IsString());
  const bool b_text = b.IsString() || (b.IsEmpty() && a.IsString());
  if (a_text && b_text) {
    return CompareStrings(a.IsEmpty() ? std::string_view() : std::string_view(a.string()),
                          b.IsEmpty() ? std::string_view() : std::string_view(b.string()), mode);
  }
  if (a_text) return 1;  // a number is less than a string
  if (b_text) return -1;
  const double x = ToDouble(a);
  const double y = ToDouble(b);
  return (x > y) - (x < y);
}

}  // namespace norwin::automation
