#include "norwin/platform/reg_file.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "norwin/platform/case_fold.h"
#include "norwin/platform/codepage.h"
#include "norwin/platform/unicode.h"

namespace norwin::platform {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

// 'text' in single quotes, for messages.
std::string Quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('\'');
  out.append(text);
  out.push_back('\'');
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The file's text as UTF-8.
Result<std::string> DecodeFile(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) {
    Result<std::string> text = Utf16LeToUtf8(bytes.substr(2));
    if (!text.ok()) return Status::Error("the file is not valid UTF-16 (" + text.message() + ")");
    return text;
  }
  if (bytes.starts_with("\xFE\xFF")) {
    return Status::Error("the file is UTF-16 big-endian, which is not supported");
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (!IsValidUtf8(bytes)) {
    return Status::Error("the file is neither UTF-8 nor UTF-16LE with a byte-order mark");
  }
  return std::string(bytes);
}

// A quoted string at the start of `rest` ("a \"b\" c:\\d"); `rest` is left
// after the closing quote.
Result<std::string> TakeQuoted(std::string_view& rest) {
  std::string out;
  for (size_t i = 1; i < rest.size(); ++i) {
    const char c = rest[i];
    if (c == '"') {
      rest.remove_prefix(i + 1);
      return out;
    }
    if (c == '\\') {
      if (i + 1 == rest.size()) break;
      const char next = rest[++i];
      if (next != '\\' && next != '"') {
        return Status::Error(std::string("unknown escape \\") + next +
                             " in a quoted string (only \\\\ and \\\" are allowed)");
      }
      out.push_back(next);
      continue;
    }
    out.push_back(c);
  }
  return Status::Error("a quoted string has no closing quote");
}

Result<std::string> ParseHexBytes(std::string_view list) {
  std::string bytes;
  list = Trim(list);
  if (list.empty()) return bytes;
  while (true) {
    const size_t comma = list.find(',');
    const std::string_view item = Trim(list.substr(0, comma));
    const int hi = item.size() == 2 ? HexDigit(item[0]) : item.size() == 1 ? 0 : -1;
    const int lo = item.empty() ? -1 : HexDigit(item.back());
    if (hi < 0 || lo < 0) {
      return Status::Error(Quoted(item) + " is not a hexadecimal byte");
    }
    bytes.push_back(static_cast<char>(hi << 4 | lo));
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return bytes;
}

// UTF-16LE string data: the text ends at the first NUL, as Windows reads it.
Result<std::string> DecodeUtf16String(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return Status::Error("string data with an odd number of bytes");
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] == '\0' && bytes[i + 1] == '\0') {
      bytes = bytes.substr(0, i);
      break;
    }
  }
  return Utf16LeToUtf8(bytes);
}

// UTF-16LE parts, each ended by a NUL; an empty part ends the list.
Result<std::vector<std::string>> DecodeUtf16Parts(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return Status::Error("string data with an odd number of bytes");
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= bytes.size(); i += 2) {
    const bool end = i == bytes.size();
    if (!end && !(bytes[i] == '\0' && bytes[i + 1] == '\0')) continue;
    if (i == start) break;  // an empty part: the list's end
    Result<std::string> part = Utf16LeToUtf8(bytes.substr(start, i - start));
    if (!part.ok()) return part.status();
    parts.push_back(std::move(*part));
    start = i + 2;
    if (end) break;
  }
  return parts;
}

// The data after "name"=: a quoted string, dword:, hex: or hex(T):. The
// caller has handled "-".
Result<RegValue> ParseData(std::string_view data) {
  if (data.starts_with('"')) {
    Result<std::string> text = TakeQuoted(data);
    if (!text.ok()) return text.status();
    if (!Trim(data).empty()) {
      return Status::Error("unexpected text after the closing quote: '" + std::string(Trim(data)) +
                           "'");
    }
    return RegValue::String(std::move(*text));
  }
  if (StartsWithIgnoringCase(data, "dword:")) {
    const std::string_view digits = Trim(data.substr(6));
    uint32_t n = 0;
    bool ok = !digits.empty() && digits.size() <= 8;
    for (char c : digits) {
      const int d = HexDigit(c);
      ok = ok && d >= 0;
      n = n << 4 | static_cast<uint32_t>(d < 0 ? 0 : d);
    }
    if (!ok) {
      return Status::Error(Quoted(digits) + " is not a dword (one to eight hexadecimal digits)");
    }
    return RegValue::Dword(n);
  }
  if (!StartsWithIgnoringCase(data, "hex")) {
    return Status::Error("unrecognised value data '" + std::string(data) + "'");
  }
  data.remove_prefix(3);
  uint32_t type = 3;
  if (data.starts_with('(')) {
    const size_t close = data.find(')');
    const std::string_view number =
        close == std::string_view::npos ? "" : data.substr(1, close - 1);
    type = 0;
    for (char c : number) {
      const int d = HexDigit(c);
      if (d < 0 || type > 0xFFFFFFF) {
        type = UINT32_MAX;
        break;
      }
      type = type << 4 | static_cast<uint32_t>(d);
    }
    if (number.empty() || type == UINT32_MAX) {
      return Status::Error("unrecognised value data 'hex" + std::string(data) + "'");
    }
    data.remove_prefix(close + 1);
  }
  if (!data.starts_with(':')) return Status::Error("a ':' must follow 'hex'");
  Result<std::string> bytes = ParseHexBytes(data.substr(1));
  if (!bytes.ok()) return bytes.status();

  switch (type) {
    case 1:
    case 2: {
      Result<std::string> text = DecodeUtf16String(*bytes);
      if (!text.ok()) return text.status();
      return RegValue::String(std::move(*text), type == 1 ? RegType::kSz : RegType::kExpandSz);
    }
    case 3:
      return RegValue::Binary(std::move(*bytes));
    case 4:
      if (bytes->size() != 4) return Status::Error("hex(4) data must be four bytes");
      return RegValue::Dword(static_cast<uint32_t>(static_cast<uint8_t>((*bytes)[0])) |
                             static_cast<uint32_t>(static_cast<uint8_t>((*bytes)[1])) << 8 |
                             static_cast<uint32_t>(static_cast<uint8_t>((*bytes)[2])) << 16 |
                             static_cast<uint32_t>(static_cast<uint8_t>((*bytes)[3])) << 24);
    case 7: {
      Result<std::vector<std::string>> parts = DecodeUtf16Parts(*bytes);
      if (!parts.ok()) return parts.status();
      return RegValue::MultiString(std::move(*parts));
    }
  }
  char hex[16];
  snprintf(hex, sizeof hex, "%x", type);
  return Status::Error(std::string("value type hex(") + hex +
                       ") is not supported (REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD and "
                       "REG_MULTI_SZ are)");
}

// Reads the logical lines of the file in order and turns them into edits.
class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  Result<std::vector<RegEdit>> Run() {
    bool header_seen = false;
    std::string line;
    while (NextLine(line)) {
      const std::string_view content = Trim(line);
      if (content.empty() || content.starts_with(';')) continue;
      if (!header_seen) {
        if (content != kHeader) {
          if (content == "REGEDIT4") {
            return Fail("REGEDIT4 files are not supported; the file must begin with \"" +
                        std::string(kHeader) + "\"");
          }
          return Fail("the file does not begin with \"" + std::string(kHeader) + "\"");
        }
        header_seen = true;
        continue;
      }
      Status s = content.starts_with('[') ? Section(content) : ValueLine(content);
      if (!s.ok()) return s;
    }
    if (!continuation_error_.empty()) return Fail(continuation_error_);
    if (!header_seen) {
      line_no_ = 1;
      return Fail("the file does not begin with \"" + std::string(kHeader) + "\"");
    }
    return std::move(edits_);
  }

 private:
  // The next logical line: a value line whose last character is a backslash
  // continues on the next physical line, without that line's leading blanks.
  bool NextLine(std::string& line) {
    std::string_view physical;
    if (!NextPhysical(physical)) return false;
    line_no_ = next_line_no_ - 1;
    line.assign(physical);
    const std::string_view start = TrimLeft(physical);
    if (!start.starts_with('"') && !start.starts_with('@')) return true;
    while (TrimRight(line).ends_with('\\')) {
      line.resize(TrimRight(line).size() - 1);
      if (!NextPhysical(physical)) {
        continuation_error_ = "the value continues past the end of the file";
        line.clear();
        return true;
      }
      line.append(TrimLeft(physical));
    }
    return true;
  }

  // The next line without its end; the text after the last line end is a
  // line only when it is not empty.
  bool NextPhysical(std::string_view& physical) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    physical = text_.substr(pos_, end - pos_);
    if (physical.ends_with('\r')) physical.remove_suffix(1);
    pos_ = end + 1;
    ++next_line_no_;
    return true;
  }

  Status Fail(std::string why) const {
    return Status::Error("line " + std::to_string(line_no_) + ": " + why);
  }

  Status Section(std::string_view content) {
    if (!content.ends_with(']')) return Fail("a key line must end with ']'");
    std::string_view key = content.substr(1, content.size() - 2);
    const bool remove = key.starts_with('-');
    if (remove) key.remove_prefix(1);
    Result<std::string> normal = Registry::NormalizeKey(key);
    if (!normal.ok()) return Fail(normal.message());
    if (remove) {
      if (normal->find('\\') == std::string::npos) {
        return Fail("the root key " + *normal + " cannot be deleted");
      }
      edits_.push_back(RegEdit::DeleteTree(*normal));
      current_key_.reset();
      after_delete_ = true;
    } else {
      edits_.push_back(RegEdit::CreateKey(*normal));
      current_key_ = std::move(*normal);
    }
    return Status::Ok();
  }

  Status ValueLine(std::string_view content) {
    if (!content.starts_with('"') && !content.starts_with('@')) {
      return Fail("unrecognised line '" + std::string(content.substr(0, 60)) + "'");
    }
    std::string name;
    std::string_view rest = content;
    if (rest.starts_with('@')) {
      rest.remove_prefix(1);
    } else {
      Result<std::string> quoted = TakeQuoted(rest);
      if (!quoted.ok()) return Fail(quoted.message());
      name = std::move(*quoted);
    }
    rest = TrimLeft(rest);
    if (!rest.starts_with('=')) return Fail("a value name must be followed by '='");
    rest = Trim(rest.substr(1));
    if (!current_key_) {
      return Fail(after_delete_ ? "a value line follows a key deletion ([-KEY])"
                                : "a value line comes before the first [KEY] line");
    }
    if (rest == "-") {
      if (Status s = Registry::ValidateValue(name, RegValue()); !s.ok()) return Fail(s.message());
      edits_.push_back(RegEdit::DeleteValue(*current_key_, std::move(name)));
      return Status::Ok();
    }
    Result<RegValue> value = ParseData(rest);
    if (!value.ok()) return Fail(value.message());
    if (Status s = Registry::ValidateValue(name, *value); !s.ok()) return Fail(s.message());
    edits_.push_back(RegEdit::SetValue(*current_key_, std::move(name), std::move(*value)));
    return Status::Ok();
  }

  std::string_view text_;
  size_t pos_ = 0;
  int next_line_no_ = 1;
  int line_no_ = 0;
  std::string continuation_error_;
  std::optional<std::string> current_key_;
  bool after_delete_ = false;
  std::vector<RegEdit> edits_;
};

}  // namespace

Result<std::vector<RegEdit>> ParseRegFile(std::string_view bytes) {
  Result<std::string> text = DecodeFile(bytes);
  if (!text.ok()) return text.status();
  return Parser(*text).Run();
}

}  // namespace norwin::platform
