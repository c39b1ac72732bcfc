// The per-user program-settings store: string settings filed under an
// application, a section and a key, as programs keep them with GetSetting
// and SaveSetting.
//
// Each setting is a REG_SZ value of the registry key
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\APP\SECTION, so the
// registry tools see and change the same settings. Application, section and
// key names are compared without regard to case. Every call opens the
// machine's registry (registry.db in the prefix folder) for its own use, so
// the functions may be called from any thread.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "norwin/platform/status.h"

namespace norwin::platform {

// The registry key of an application's section.
std::string ProgramSettingsKey(std::string_view app, std::string_view section);

// The setting, or `default_value` when the application, section or key has
// none. A DWORD value reads as its decimal text. Fails for an empty name and
// when the registry cannot be read.
Result<std::string> GetSetting(std::string_view app, std::string_view section, std::string_view key,
                               std::string_view default_value);

// Stores `value`, creating the application and the section when missing.
// Fails for an empty name and when the registry cannot be written.
Status SaveSetting(std::string_view app, std::string_view section, std::string_view key,
                   std::string_view value);

// Removes a whole section with its settings. Fails when it does not exist.
Status DeleteSetting(std::string_view app, std::string_view section);
// Removes one setting. Fails when it does not exist.
Status DeleteSetting(std::string_view app, std::string_view section, std::string_view key);

// Every setting of a section as (key, value) pairs in the order they were
// first saved; empty when the section does not exist.
Result<std::vector<std::pair<std::string, std::string>>> GetAllSettings(std::string_view app,
                                                                        std::string_view section);

}  // namespace norwin::platform
