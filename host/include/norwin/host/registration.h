// Lumo's registration as the local server of the NorwinDHTML class:
// the identifiers, and the writing and removal of its registry entries
// (lumo /RegServer and /UnRegServer).
//
// The entries are those of the program's two registration scripts, kept
// here as data and applied by a small registrar with the script language's
// rules: a key marked no-remove (AppID, CLSID) is never removed itself,
// only what the script put below it; a key marked force-remove is removed
// with everything below it before it is written, so no stale sub-key
// survives a new registration. The type library's entries (TypeLib\{LIBID}
// and the dual interface under Interface) are written and removed beside
// them, as the system writes them when it registers a type library.
//
// All entries lie below HKEY_CLASSES_ROOT. `%MODULE%` in a script stands for
// the program's full path. Results are HRESULTs: kSOk, or kEFail when the
// registry cannot be read or written (the message goes to `error` when
// given). Removing entries that are not there succeeds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/platform/registry.h"

namespace norwin::host {

using HResult = int32_t;
inline constexpr HResult kSOk = 0;
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005);

inline constexpr std::string_view kAppId = "{A07C9CE4-EE1F-11D2-AD57-00105A13F737}";
inline constexpr std::string_view kLibId = "{A07C9CE3-EE1F-11D2-AD57-00105A13F737}";
inline constexpr std::string_view kClsidNorwinDhtml = "{08364115-EE22-11D2-AD57-00105A13F737}";
inline constexpr std::string_view kIidINorwinDhtml = "{08364114-EE22-11D2-AD57-00105A13F737}";
inline constexpr std::string_view kProgId = "Lumo.NorwinDHTML.1";
inline constexpr std::string_view kVersionIndependentProgId = "Lumo.NorwinDHTML";
inline constexpr std::string_view kTypeLibHelpString = "Lumo 1.0 Type Library";
// The marshaller of dual, automation-compatible interfaces, which the system
// names as the proxy and stub of every such interface it registers.
inline constexpr std::string_view kAutomationMarshallerClsid =
    "{00020424-0000-0000-C000-000000000046}";

// Applies script 100 (application identity).
HResult RegisterAppId(platform::Registry& registry, std::string* error = nullptr);
// Removes the entries of script 100.
HResult UnregisterAppId(platform::Registry& registry, std::string* error = nullptr);

// Applies script 107 (the class and its ProgIDs) and registers the type
// library carried by `module_path`.
HResult RegisterServer(platform::Registry& registry, std::string_view module_path,
                       std::string* error = nullptr);
// Removes the entries of script 107 and of the type library.
HResult UnregisterServer(platform::Registry& registry, std::string* error = nullptr);

}  // namespace norwin::host
