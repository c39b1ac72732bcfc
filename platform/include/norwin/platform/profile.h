// Settings files ("profiles") read and written with the rules of the
// Windows private-profile functions, which course settings files (.cfg)
// and the user's own profile were written for.
//
// A profile is lines of text: "[section]" headers and "key=value" entries
// below them; lines whose first visible character is ';' are comments,
// entries before the first section and lines without '=' are ignored.
// Sections and keys are found without regard to case, the first matching
// section and the first matching key in it win. A value is trimmed of
// blanks and tabs and loses one pair of matching surrounding quotes (' or
// "); a ';' after a value is part of the value.
//
// Files may be UTF-8 (with or without a byte-order mark), UTF-16 with a
// byte-order mark, or Windows-1252 (any file that is not valid UTF-8), with
// LF or CR LF line ends. Returned text is UTF-8. A file that holds NUL bytes
// without being UTF-16, or is larger than kMaxProfileBytes, is refused:
// reading functions then behave as for a missing file, and writers leave it
// untouched and report why. Files written here are UTF-8 and keep the line
// ends they had (LF for a new file).
//
// A bare file name without a folder names a file in the prefix folder, as
// Windows looks for such a file in its own folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/platform/status.h"

namespace norwin::platform {

inline constexpr size_t kMaxProfileBytes = size_t{1} << 20;

// A profile read into memory, for callers that look up many values.
class Profile {
 public:
  // Reads and parses `file`. Fails, with a message naming the file, when it
  // is missing or unreadable, not a text file, or too large.
  static Result<Profile> Load(const std::filesystem::path& file);
  // Decodes (as a file's bytes are decoded) and parses `bytes`; fails only
  // for bytes that are not text.
  static Result<Profile> Parse(std::string_view bytes);

  // The value of the first `key` in the first `section`, trimmed and
  // unquoted; nullopt when the section or the key is missing.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
  // Section names in file order, each once (first spelling).
  std::vector<std::string> SectionNames() const;
  // Key names of the first matching section in file order, each once.
  std::vector<std::string> KeyNames(std::string_view section) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Section* FindSection(std::string_view name) const;
  std::vector<Section> sections_;
};

// The value of `key` in `section` of `file`, or `default_value` (without its
// trailing blanks) when the file, section or key is missing. The result is
// cut to `capacity` - 1 characters, as Windows cuts it into a buffer of
// `capacity` characters; a capacity of 0 gives "".
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view default_value, size_t capacity,
                                    const std::filesystem::path& file);

// The integer at the start of the value: optional blanks, an optional sign,
// then decimal digits; text after the digits is ignored. A value without
// digits (also an empty one, "cx=") gives 0; `default_value` is returned
// only when the file, section or key is missing. Values beyond the 32-bit
// range give the nearest limit.
int32_t GetPrivateProfileInt(std::string_view section, std::string_view key, int32_t default_value,
                             const std::filesystem::path& file);

// Sets `key` in `section` to `value`, creating the file and the section when
// missing; other lines, comments included, stay as they were. Fails for an
// empty section or key, a section holding ']', a key holding '=' or
// beginning with '[' or ';', any line break or NUL in the three, and when
// the existing file cannot be read or written.
Status WritePrivateProfileString(std::string_view section, std::string_view key,
                                 std::string_view value, const std::filesystem::path& file);
// Removes the first `key` of the first matching section. Removing what
// does not exist succeeds and leaves the file as it was.
Status DeletePrivateProfileKey(std::string_view section, std::string_view key,
                               const std::filesystem::path& file);
// Removes the first matching section with all its lines.
Status DeletePrivateProfileSection(std::string_view section, const std::filesystem::path& file);

// The user's own profile: profile.ini in the prefix folder.
std::filesystem::path UserProfilePath();
std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view default_value, size_t capacity);
int32_t GetProfileInt(std::string_view section, std::string_view key, int32_t default_value);
Status WriteProfileString(std::string_view section, std::string_view key, std::string_view value);

}  // namespace norwin::platform
