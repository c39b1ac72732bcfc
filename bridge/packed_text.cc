#include "norwin/bridge/packed_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace norwin::bridge {

namespace {

constexpr char kEscape = '\x01';
constexpr char kEscapedNul = 'a';
constexpr char kEscapedEscape = 'b';
constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";

// The length in bytes of the well-formed UTF-8 sequence at the start of
// `s`, or 0 when it is not one (a stray continuation byte, an overlong form,
// a surrogate, a value past U+10FFFF, a sequence cut short).
size_t SequenceLength(std::string_view s) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// What a string needs before it can be packed.
struct StringScan {
  bool valid = true;    // well-formed UTF-8
  bool escape = false;  // holds U+0000 or U+0001
  size_t utf16 = 0;     // code units, after repair and escaping
};

StringScan Scan(std::string_view text) {
  StringScan scan;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x02 && c < 0x80) {
      ++scan.utf16;
      ++i;
      continue;
    }
    if (c < 0x02) {
      scan.escape = true;
      scan.utf16 += 2;
      ++i;
      continue;
    }
    const size_t length = SequenceLength(text.substr(i));
    if (length == 0) {
      scan.valid = false;
      ++scan.utf16;  // U+FFFD
      ++i;
      continue;
    }
    scan.utf16 += length == 4 ? 2 : 1;
    i += length;
  }
  return scan;
}

void AppendText(std::string_view text, const StringScan& scan, std::string* out) {
  if (scan.valid && !scan.escape) {
    out->append(text);
    return;
  }
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x02) {
      out->push_back(kEscape);
      out->push_back(c == 0 ? kEscapedNul : kEscapedEscape);
      ++i;
      continue;
    }
    const size_t length = c < 0x80 ? 1 : SequenceLength(text.substr(i));
    if (length == 0) {
      out->append(kReplacementChar);
      ++i;
      continue;
    }
    out->append(text.substr(i, length));
    i += length;
  }
}

// `number` and the ';' that ends it.
template <typename T>
void AppendTerminated(T number, std::string* out) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  out->append(buffer, result.ptr);
  out->push_back(';');
}

template <typename T>
void AppendNumber(char tag, T number, std::string* out) {
  out->push_back(tag);
  AppendTerminated(number, out);
}

void AppendDouble(char tag, double number, std::string* out) {
  // Script reads these with Number(), which knows only its own spellings
  // of the special values.
  if (std::isnan(number)) {
    out->push_back(tag);
    out->append("NaN;");
  } else if (std::isinf(number)) {
    out->push_back(tag);
    out->append(number > 0 ? "Infinity;" : "-Infinity;");
  } else {
    AppendNumber(tag, number, out);
  }
}

void AppendString(std::string_view text, std::string* out) {
  const StringScan scan = Scan(text);
  out->push_back(scan.escape ? 'Z' : 'S');
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, scan.utf16);
  out->append(buffer, result.ptr);
  out->push_back(':');
  AppendText(text, scan, out);
}

// Reads packed values from a string, keeping the position of the first
// fault for its message.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }

  Status Read(Value* value) {
    const char tag = text_[pos_++];
    switch (tag) {
      case 'E':
        *value = Value::Empty();
        return Status::Ok();
      case 'N':
        *value = Value::Null();
        return Status::Ok();
      case 'T':
        *value = Value::Bool(true);
        return Status::Ok();
      case 'F':
        *value = Value::Bool(false);
        return Status::Ok();
      case 'L':
        *value = Value::NullString();
        return Status::Ok();
      case 'H': {
        int32_t n;
        if (!ReadInteger(&n) || n < INT16_MIN || n > INT16_MAX) return Fault("bad 16-bit integer");
        *value = Value::I2(static_cast<int16_t>(n));
        return Status::Ok();
      }
      case 'I': {
        int32_t n;
        if (!ReadInteger(&n)) return Fault("bad 32-bit integer");
        *value = Value::I4(n);
        return Status::Ok();
      }
      case 'R': {
        double d;
        if (!ReadDouble(&d)) return Fault("bad number");
        *value = Value::R8(d);
        return Status::Ok();
      }
      case 'D': {
        double d;
        if (!ReadDouble(&d)) return Fault("bad date");
        *value = Value::Date(OleDateFromWallMs(d));
        return Status::Ok();
      }
      case 'S':
      case 'Z': {
        std::string text;
        if (!ReadString(tag == 'Z', &text)) return Fault("bad string");
        *value = Value::String(std::move(text));
        return Status::Ok();
      }
      case 'O': {
        uint32_t handle, class_id;
        if (!ReadInteger(&handle) || !ReadInteger(&class_id)) return Fault("bad object");
        *value = Value::Object(handle, class_id);
        return Status::Ok();
      }
      case 'A': {
        uint32_t count;
        if (!ReadInteger(&count)) return Fault("bad array");
        // Arrays of arrays nest only so deep: the reader recurses.
        if (depth_ >= kMaxArrayDepth) return Fault("arrays nested too deep");
        std::vector<Value> items;
        ++depth_;
        for (uint32_t i = 0; i < count; ++i) {
          // Every value takes at least one character: a count past the
          // rest of the text is a lie, not a reason to reserve memory.
          if (AtEnd()) {
            --depth_;
            return Fault("array shorter than its count");
          }
          Value item;
          if (Status s = Read(&item); !s.ok()) {
            --depth_;
            return s;
          }
          items.push_back(std::move(item));
        }
        --depth_;
        *value = Value::Array(std::move(items));
        return Status::Ok();
      }
      default:
        --pos_;
        return Fault("unknown value tag");
    }
  }

  Status ReadError(CallError* error) {
    ++pos_;  // 'X'
    Value description, source;
    if (!ReadInteger(&error->number)) return Fault("bad error number");
    if (AtEnd()) return Fault("error without description");
    if (Status s = Read(&description); !s.ok()) return s;
    if (AtEnd()) return Fault("error without source");
    if (Status s = Read(&source); !s.ok()) return s;
    if (description.tag != ValueTag::kString || source.tag != ValueTag::kString) {
      return Fault("error texts are not strings");
    }
    error->description = std::move(description.text);
    error->source = std::move(source.text);
    if (!AtEnd()) return Fault("text after the error");
    return Status::Ok();
  }

 private:
  Status Fault(const char* what) const {
    return Status::Error(std::string("malformed packed values: ") + what + " at offset " +
                         std::to_string(pos_));
  }

  // An integer ended by ';'.
  template <typename T>
  bool ReadInteger(T* n) {
    const char* begin = text_.data() + pos_;
    const char* end = text_.data() + text_.size();
    const auto result = std::from_chars(begin, end, *n);
    if (result.ec != std::errc() || result.ptr == end || *result.ptr != ';') return false;
    pos_ = static_cast<size_t>(result.ptr - text_.data()) + 1;
    return true;
  }

  bool ReadDouble(double* d) {
    const size_t semicolon = text_.find(';', pos_);
    if (semicolon == std::string_view::npos || semicolon == pos_) return false;
    const char* begin = text_.data() + pos_;
    const char* end = text_.data() + semicolon;
    // from_chars takes no leading '+', and spells the special values its
    // own way only in part; script writes these.
    if (*begin == '+') return false;
    const auto result = std::from_chars(begin, end, *d);
    if (result.ec == std::errc::result_out_of_range) {
      // Script's text of a number always reads back; a subnormal that
      // from_chars refuses as out of range is still the number it says.
      *d = std::strtod(std::string(begin, end).c_str(), nullptr);
    } else if (result.ec != std::errc() || result.ptr != end) {
      return false;
    }
    pos_ = semicolon + 1;
    return true;
  }

  // <units>:<text>, the text `units` UTF-16 code units long.
  bool ReadString(bool escaped, std::string* out) {
    size_t units;
    const char* begin = text_.data() + pos_;
    const char* end = text_.data() + text_.size();
    const auto result = std::from_chars(begin, end, units);
    if (result.ec != std::errc() || result.ptr == end || *result.ptr != ':') return false;
    pos_ = static_cast<size_t>(result.ptr - text_.data()) + 1;
    const size_t start = pos_;
    size_t seen = 0;
    while (seen < units) {
      if (pos_ >= text_.size()) return false;
      const size_t length = SequenceLength(text_.substr(pos_));
      if (length == 0) return false;
      seen += length == 4 ? 2 : 1;
      pos_ += length;
    }
    if (seen != units) return false;  // half of a surrogate pair
    const std::string_view text = text_.substr(start, pos_ - start);
    if (!escaped) {
      out->assign(text);
      return true;
    }
    out->clear();
    out->reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != kEscape) {
        out->push_back(text[i]);
        continue;
      }
      if (++i == text.size()) return false;
      if (text[i] == kEscapedNul) {
        out->push_back('\0');
      } else if (text[i] == kEscapedEscape) {
        out->push_back(kEscape);
      } else {
        return false;
      }
    }
    return true;
  }

  static constexpr int kMaxArrayDepth = 32;

  std::string_view text_;
  size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace

size_t Utf16Length(std::string_view text) {
  size_t units = 0;
  for (const char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

void AppendPackedValue(const Value& value, std::string* out) {
  switch (value.tag) {
    case ValueTag::kEmpty:
      out->push_back('E');
      return;
    case ValueTag::kNull:
      out->push_back('N');
      return;
    case ValueTag::kBool:
      out->push_back(value.b ? 'T' : 'F');
      return;
    case ValueTag::kI2:
      AppendNumber('H', value.i2, out);
      return;
    case ValueTag::kI4:
      AppendNumber('I', value.i4, out);
      return;
    case ValueTag::kR8:
      AppendDouble('R', value.r8, out);
      return;
    case ValueTag::kDate:
      AppendDouble('D', WallMsFromOleDate(value.r8), out);
      return;
    case ValueTag::kString:
      AppendString(value.text, out);
      return;
    case ValueTag::kNullString:
      out->push_back('L');
      return;
    case ValueTag::kObject:
      AppendNumber('O', value.object.handle, out);
      AppendTerminated(value.object.class_id, out);
      return;
    case ValueTag::kArray:
      AppendNumber('A', value.items.size(), out);
      for (const Value& item : value.items) AppendPackedValue(item, out);
      return;
  }
}

void AppendPackedReply(const CallReply& reply, std::string* out) {
  if (!reply.ok) {
    AppendNumber('X', reply.error.number, out);
    AppendString(reply.error.description, out);
    AppendString(reply.error.source, out);
    return;
  }
  for (const Value& value : reply.values) AppendPackedValue(value, out);
}

Status ReadPackedValues(std::string_view text, std::vector<Value>* out) {
  Reader reader(text);
  while (!reader.AtEnd()) {
    Value value;
    if (Status s = reader.Read(&value); !s.ok()) return s;
    out->push_back(std::move(value));
  }
  return Status::Ok();
}

Status ReadPackedReply(std::string_view text, CallReply* reply) {
  reply->Clear();
  if (!text.empty() && text[0] == 'X') {
    reply->ok = false;
    Reader reader(text);
    return reader.ReadError(&reply->error);
  }
  return ReadPackedValues(text, &reply->values);
}

}  // namespace norwin::bridge
