// String tables: numbered texts a program carries with it, as a Windows
// program carries its string resources.
//
// The program's own table (ProgramStrings) holds the message templates,
// the file-chooser filters and the menu text of the About box. Other
// modules (a course's or a test's) bring tables of their own; the message
// service shows templates from any of them. Tables are immutable after
// construction and may be read from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norwin::host {

// Identifiers of the program's own strings.
inline constexpr uint32_t kIdsProjName = 100;        // "Lumo", the program's title
inline constexpr uint32_t kIdsCdromNotFound = 101;   // template: the course disc is missing
inline constexpr uint32_t kIdsSettingsFilter = 102;  // chooser filter for settings files
inline constexpr uint32_t kIdsUnableToOpen = 103;    // template: a file cannot be opened
inline constexpr uint32_t kIdsAboutMenu = 104;       // system-menu text of the About box
inline constexpr uint32_t kIdsProgressFilter = 105;  // chooser filter for progress files

class StringTable {
 public:
  StringTable(std::initializer_list<std::pair<uint32_t, std::string_view>> entries);

  // The text of `id`, cut to `capacity` - 1 bytes (as Windows loads a string
  // into a buffer of `capacity` characters) without splitting a UTF-8
  // character. nullopt when the table has no entry for `id`, when the entry
  // is empty (Windows cannot tell the two apart either), or when `capacity`
  // is 0.
  std::optional<std::string> Load(uint32_t id, size_t capacity) const;

 private:
  std::vector<std::pair<uint32_t, std::string>> entries_;  // sorted by id
};

// The program's own strings.
const StringTable& ProgramStrings();

}  // namespace norwin::host
