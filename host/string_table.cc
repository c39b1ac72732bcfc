#include "norwin/host/string_table.h"

#include <algorithm>

#include "norwin/host/utf8_text.h"

namespace norwin::host {

StringTable::StringTable(std::initializer_list<std::pair<uint32_t, std::string_view>> entries) {
  entries_.reserve(entries.size());
  for (const auto& [id, text] : entries) entries_.emplace_back(id, std::string(text));
  // A later entry with the same id replaces an earlier one, as the resource
  // compiler keeps only one string per id.
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  auto last = std::unique(entries_.rbegin(), entries_.rend(),
                          [](const auto& a, const auto& b) { return a.first == b.first; });
  entries_.erase(entries_.begin(), last.base());
}

std::optional<std::string> StringTable::Load(uint32_t id, size_t capacity) const {
  auto found = std::lower_bound(entries_.begin(), entries_.end(), id,
                                [](const auto& entry, uint32_t key) { return entry.first < key; });
  if (found == entries_.end() || found->first != id || found->second.empty() || capacity == 0)
    return std::nullopt;
  std::string_view text = CutToCharacterBoundary(found->second, capacity - 1);
  if (text.empty()) return std::nullopt;
  return std::string(text);
}

const StringTable& ProgramStrings() {
  static const StringTable table{
      {kIdsProjName, "Lumo"},
      {kIdsCdromNotFound,
       "Cannot find the CD-ROM;\n\nmake sure your CD-ROM drive is turned on and the correct disc "
       "is present.|MB_ICONEXCLAMATION|MB_RETRYCANCEL"},
      {kIdsSettingsFilter, "Settings (*.cfg)|*.cfg|"},
      {kIdsUnableToOpen, "Unable to open %s.|MB_RETRYCANCEL|MB_ICONEXCLAMATION"},
      {kIdsAboutMenu, "About Lumo..."},
      {kIdsProgressFilter, "Progress Files (*.txt)|*.txt|"},
  };
  return table;
}

}  // namespace norwin::host
