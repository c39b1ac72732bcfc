#include "norwin/platform/profile.h"
#include <algorithm>
#include <limits>

#include "norwin/platform/case_fold.h"
#include "norwin/platform/codepage.h"
#include "norwin/platform/files.h"
#include "norwin/platform/prefix.h"
#include "norwin/platform/unicode.h"

namespace norwin::platform {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view TrimLeft(std::string_view s) {
  const size_t start = s.find_first_not_of(kBlanks);
  return start == std::string_view::npos ? std::string_view() : s.substr(start);
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  return s.substr(0, s.find_last_not_of(kBlanks) + 1);
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

enum class LineKind { kOther, kSection, kEntry };

struct Line {
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section name or key, trimmed
  std::string_view value;  // entry value, trimmed, still quoted
};

// `text` is one line without its line end.
Line Classify(std::string_view text) {
  const std::string_view t = TrimLeft(text);
  if (t.empty() || t.front() == ';') return {};
  if (t.front() == '[') {
    const size_t close = t.find(']', 1);
    return {LineKind::kSection,
            Trim(t.substr(1, close == std::string_view::npos ? close : close - 1)),
            {}};
  }
  const size_t eq = t.find('=');
  if (eq == std::string_view::npos) return {};
  return {LineKind::kEntry, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

// Splits UTF-8 text into lines without their line ends (LF, or CR LF).
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    const size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    pos = next;
  }
  return lines;
}

Result<std::string> DecodeUtf16Text(std::string_view bytes, ByteOrder order) {
  DecodedUtf16 decoded = platform::DecodeUtf16(bytes, order);
  if (decoded.fault == Utf16Fault::kOddLength) {
    return Status::Error("not valid UTF-16 text (odd length)");
  }
  if (!decoded.ok()) return Status::Error("not valid UTF-16 text");
  if (decoded.text.find('\0') != std::string::npos) {
    return Status::Error("not a text file (NUL characters)");
  }
  return std::move(decoded.text);
}

// A file's bytes as UTF-8 text.
Result<std::string> Decode(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
    return DecodeUtf16Text(bytes.substr(2), ByteOrder::kLittleEndian);
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF')
    return DecodeUtf16Text(bytes.substr(2), ByteOrder::kBigEndian);
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (bytes.find('\0') != std::string_view::npos)
    return Status::Error("not a text file (it holds NUL bytes)");
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return Cp1252ToUtf8(bytes);
}

// A bare file name lives in the prefix folder.
std::filesystem::path ResolveFile(const std::filesystem::path& file) {
  if (!file.empty() && !file.has_parent_path() && file.is_relative()) return PrefixDir() / file;
  return file;
}

std::string CutToCapacity(std::string_view text, size_t capacity) {
  if (capacity == 0) return {};
  const size_t max_chars = capacity - 1;
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // continuation byte
    if (chars == max_chars) return std::string(text.substr(0, i));
    ++chars;
  }
  return std::string(text);
}

int32_t ParseLeadingInt(std::string_view text) {
  text = TrimLeft(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = std::min(value * 10 + (c - '0'), kLimit);
  }
  if (negative) value = -value;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

Status CheckSection(std::string_view section) {
  if (Trim(section).empty()) return Status::Error("a profile section name cannot be empty");
  if (HasLineBreakOrNul(section) || section.find(']') != std::string_view::npos)
    return Status::Error("the profile section name \"" + std::string(section) +
                         "\" holds a character a section name cannot hold");
  return Status::Ok();
}

Status CheckKey(std::string_view key) {
  const std::string_view trimmed = Trim(key);
  if (trimmed.empty()) return Status::Error("a profile key name cannot be empty");
  if (HasLineBreakOrNul(key) || key.find('=') != std::string_view::npos || trimmed.front() == '[' ||
      trimmed.front() == ';')
    return Status::Error("the profile key name \"" + std::string(key) +
                         "\" holds a character a key name cannot hold");
  return Status::Ok();
}

// A profile file taken apart into lines for editing.
struct EditableFile {
  std::string text;
  std::vector<std::string_view> lines;
  const char* eol = "\n";
};

Result<EditableFile> ReadForEdit(const std::filesystem::path& file) {
  EditableFile result;
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) {
    Result<std::string> bytes = ReadFileCapped(file, kMaxProfileBytes);
    if (!bytes.ok()) return bytes.status();
    Result<std::string> text = Decode(*bytes);
    if (!text.ok())
      return Status::Error("will not change " + file.string() + ": " + text.message());
    result.text = std::move(text).value();
  } else if (ec) {
    return Status::Error("cannot open " + file.string() + ": " + ec.message());
  }
  if (result.text.find("\r\n") != std::string::npos) result.eol = "\r\n";
  result.lines = SplitLines(result.text);
  return result;
}

Status WriteLines(const std::filesystem::path& file, const std::vector<std::string_view>& lines,
                  const char* eol) {
  std::string out;
  size_t size = 0;
  for (std::string_view line : lines) size += line.size() + 2;
  out.reserve(size);
  for (std::string_view line : lines) {
    out.append(line);
    out.append(eol);
  }
  if (file.has_parent_path()) {
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
  }
  return WriteFileAtomically(file, out);
}

// Line indexes [begin, end) of the first section named `section`, the
// header included; nullopt when there is none.
std::optional<std::pair<size_t, size_t>> SectionRange(const std::vector<std::string_view>& lines,
                                                      std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line header = Classify(lines[i]);
    if (header.kind != LineKind::kSection || !EqualsIgnoringCase(header.name, section)) continue;
    size_t end = i + 1;
    while (end < lines.size() && Classify(lines[end]).kind != LineKind::kSection) ++end;
    return std::make_pair(i, end);
  }
  return std::nullopt;
}

std::optional<size_t> KeyLine(const std::vector<std::string_view>& lines,
                              std::pair<size_t, size_t> range, std::string_view key) {
  for (size_t i = range.first + 1; i < range.second; ++i) {
    const Line line = Classify(lines[i]);
    if (line.kind == LineKind::kEntry && EqualsIgnoringCase(line.name, key)) return i;
  }
  return std::nullopt;
}

}  // namespace

Result<Profile> Profile::Parse(std::string_view bytes) {
  Result<std::string> text = Decode(bytes);
  if (!text.ok()) return text.status();
  Profile profile;
  Section* current = nullptr;
  for (std::string_view raw : SplitLines(*text)) {
    const Line line = Classify(raw);
    if (line.kind == LineKind::kSection) {
      current = &profile.sections_.emplace_back(Section{std::string(line.name), {}});
    } else if (line.kind == LineKind::kEntry && current) {
      current->entries.push_back(Entry{std::string(line.name), std::string(line.value)});
    }
  }
  return profile;
}

Result<Profile> Profile::Load(const std::filesystem::path& file) {
  const std::filesystem::path path = ResolveFile(file);
  Result<std::string> bytes = ReadFileCapped(path, kMaxProfileBytes);
  if (!bytes.ok()) return bytes.status();
  Result<Profile> profile = Parse(*bytes);
  if (!profile.ok()) return Status::Error(path.string() + " is " + profile.message());
  return profile;
}

const Profile::Section* Profile::FindSection(std::string_view name) const {
  for (const Section& section : sections_)
    if (EqualsIgnoringCase(section.name, name)) return &section;
  return nullptr;
}

std::optional<std::string_view> Profile::Find(std::string_view section,
                                              std::string_view key) const {
  const Section* found = FindSection(section);
  if (!found) return std::nullopt;
  for (const Entry& entry : found->entries)
    if (EqualsIgnoringCase(entry.key, key)) return Unquote(entry.value);
  return std::nullopt;
}

std::vector<std::string> Profile::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& section : sections_)
    if (FindSection(section.name) == &section) names.push_back(section.name);
  return names;
}

std::vector<std::string> Profile::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  const Section* found = FindSection(section);
  if (!found) return names;
  for (const Entry& entry : found->entries) {
    const bool seen = std::any_of(names.begin(), names.end(), [&](const std::string& name) {
      return EqualsIgnoringCase(name, entry.key);
    });
    if (!seen) names.push_back(entry.key);
  }
  return names;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view default_value, size_t capacity,
                                    const std::filesystem::path& file) {
  if (Result<Profile> profile = Profile::Load(file); profile.ok()) {
    if (std::optional<std::string_view> value = profile->Find(section, key))
      return CutToCapacity(*value, capacity);
  }
  // Windows drops the default's trailing blanks.
  default_value = default_value.substr(0, default_value.find_last_not_of(kBlanks) + 1);
  return CutToCapacity(default_value, capacity);
}

int32_t GetPrivateProfileInt(std::string_view section, std::string_view key, int32_t default_value,
                             const std::filesystem::path& file) {
  Result<Profile> profile = Profile::Load(file);
  if (!profile.ok()) return default_value;
  const std::optional<std::string_view> value = profile->Find(section, key);
  return value ? ParseLeadingInt(*value) : default_value;
}

Status WritePrivateProfileString(std::string_view section, std::string_view key,
                                 std::string_view value, const std::filesystem::path& file) {
  if (Status s = CheckSection(section); !s.ok()) return s;
  if (Status s = CheckKey(key); !s.ok()) return s;
  if (HasLineBreakOrNul(value))
    return Status::Error("a profile value cannot hold a line break or a NUL character");
  const std::filesystem::path path = ResolveFile(file);
  Result<EditableFile> edit = ReadForEdit(path);
  if (!edit.ok()) return edit.status();
  std::vector<std::string_view>& lines = edit->lines;

  const std::string entry = std::string(key) + "=" + std::string(value);
  if (auto range = SectionRange(lines, section)) {
    if (std::optional<size_t> at = KeyLine(lines, *range, key)) {
      lines[*at] = entry;
    } else {
      // After the section's last line that is not blank, so that the blank
      // lines separating it from the next section stay where they are.
      size_t insert = range->second;
      while (insert > range->first + 1 && Trim(lines[insert - 1]).empty()) --insert;
      lines.insert(lines.begin() + static_cast<ptrdiff_t>(insert), entry);
    }
    return WriteLines(path, lines, edit->eol);
  }
  const std::string header = std::string(1, '[').append(section).append(1, ']');
  lines.push_back(header);
  lines.push_back(entry);
  return WriteLines(path, lines, edit->eol);
}

Status DeletePrivateProfileKey(std::string_view section, std::string_view key,
                               const std::filesystem::path& file) {
  const std::filesystem::path path = ResolveFile(file);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return Status::Ok();
  Result<EditableFile> edit = ReadForEdit(path);
  if (!edit.ok()) return edit.status();
  std::vector<std::string_view>& lines = edit->lines;
  const auto range = SectionRange(lines, section);
  if (!range) return Status::Ok();
  const std::optional<size_t> at = KeyLine(lines, *range, key);
  if (!at) return Status::Ok();
  lines.erase(lines.begin() + static_cast<ptrdiff_t>(*at));
  return WriteLines(path, lines, edit->eol);
}

Status DeletePrivateProfileSection(std::string_view section, const std::filesystem::path& file) {
  const std::filesystem::path path = ResolveFile(file);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return Status::Ok();
  Result<EditableFile> edit = ReadForEdit(path);
  if (!edit.ok()) return edit.status();
  std::vector<std::string_view>& lines = edit->lines;
  const auto range = SectionRange(lines, section);
  if (!range) return Status::Ok();
  lines.erase(lines.begin() + static_cast<ptrdiff_t>(range->first),
              lines.begin() + static_cast<ptrdiff_t>(range->second));
  return WriteLines(path, lines, edit->eol);
}

std::filesystem::path UserProfilePath() { return PrefixDir() / "profile.ini"; }

std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view default_value, size_t capacity) {
  return GetPrivateProfileString(section, key, default_value, capacity, UserProfilePath());
}

int32_t GetProfileInt(std::string_view section, std::string_view key, int32_t default_value) {
  return GetPrivateProfileInt(section, key, default_value, UserProfilePath());
}

Status WriteProfileString(std::string_view section, std::string_view key, std::string_view value) {
  return WritePrivateProfileString(section, key, value, UserProfilePath());
}

}  // namespace norwin::platform
