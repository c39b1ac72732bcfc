// The file-open chooser of Lumo's start-up: the user picks a settings file
// when the program is started without one.
//
// The chooser's filter is a string-table entry whose last character is its
// separator ("Settings (*.cfg)|*.cfg|"): every occurrence of that character
// separates a description from its pattern. The chooser shows only existing
// files in existing folders and hides the read-only box (flags 0x5804). It
// runs through the process's prompts (CurrentPrompts()), on their thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "norwin/host/string_table.h"

namespace norwin::host {

// OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_SHAREAWARE.
inline constexpr uint32_t kChooseFileFlags = 0x5804;

// The most bytes of a filter entry taken from a string table.
inline constexpr size_t kMaxFilterBytes = 259;

// `entry` with every occurrence of its last character replaced by NUL, the
// form of a chooser's filter: "Settings (*.cfg)|*.cfg|" gives
// "Settings (*.cfg)\0*.cfg\0". Empty for an empty entry.
std::string ChooserFilterOf(std::string_view entry);

// Shows the open chooser with the filter of entry `id` of `module` (of the
// program's own strings when not given). The chosen file as a Windows path
// ("e:\course\x.cfg", on the drive whose folder holds it; the native path
// when no drive does); nullopt when the user cancelled, and without a
// chooser when the entry is missing or empty.
std::optional<std::string> ChooseFile(uint32_t id);
std::optional<std::string> ChooseFile(const StringTable& module, uint32_t id);

}  // namespace norwin::host
