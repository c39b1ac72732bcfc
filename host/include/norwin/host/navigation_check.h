// The navigation check that every course window applies before the browser
// navigates: two kinds of addresses are redirected to locations that the
// course's installation stored in the registry, under the key named by the
// settings' redirKey below HKEY_LOCAL_MACHINE (directly under it when
// redirKey is empty).
//
//   - The course's frameset page (the address before any "?" ends in
//     "learning/frameset.htm" or "learning\frameset.htm", any case) goes to
//     the value "LumoRedirectPatch001" when it is set; otherwise the
//     navigation proceeds.
//   - An exam file (the address before any "?" ends in ".agc", any case)
//     goes to the value "LumoRedirectFile", and the whole address, query
//     included, is stored as the cookie "VelloraExamURL". Without that value
//     the browser is stopped and the user told that it is not set; the
//     navigation itself is not cancelled.
//
// The check decides; the window carries the decision out (it owns the
// browser), in this order: stop, then navigate or show the message.
// Addresses of fewer than 5 characters are never redirected.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "norwin/platform/registry.h"

namespace norwin::host {

inline constexpr std::string_view kFramesetRedirectValue = "LumoRedirectPatch001";
inline constexpr std::string_view kExamFileRedirectValue = "LumoRedirectFile";
inline constexpr std::string_view kExamUrlCookie = "VelloraExamURL";
inline constexpr std::string_view kRedirectFileNotSetText =
    "The registry entry\nHKEY_CURRENT_USER/Software/KPX/LumoRedirectFile\nis not set!";
inline constexpr std::string_view kLumoErrorCaption = "Lumo Error";

// Where the check stores the cookie of a redirected exam file: the
// progress file's cookie store.
class CookieSink {
 public:
  virtual ~CookieSink() = default;
  virtual void SetCookie(std::string_view name, std::string_view value) = 0;
};

struct NavigationAction {
  enum class Kind {
    kNone,          // let the navigation proceed
    kRedirect,      // stop the browser, cancel this navigation, navigate to
                    // `address` in the frame `target_frame`
    kStopAndReport  // stop the browser, then ShowRedirectFileNotSet()
  };
  Kind kind = Kind::kNone;
  std::string address;
  std::string target_frame;
};

// The action for a navigation to `url` in the frame named `target_frame`
// (empty: the window itself). `registry` may be nullptr when the registry
// cannot be opened: redirect values are then missing. Calls
// `cookies.SetCookie` for a redirected exam file.
NavigationAction CheckNavigation(std::string_view url, std::string_view target_frame,
                                 platform::Registry* registry, std::string_view redir_key,
                                 CookieSink& cookies);

// The string value `name` of the redirect key `redir_key` (below
// HKEY_LOCAL_MACHINE); nullopt when `registry` is nullptr, the key does not
// exist or the value is not a string.
std::optional<std::string> RedirectValue(platform::Registry* registry, std::string_view redir_key,
                                         std::string_view name);

// The message of kStopAndReport: kRedirectFileNotSetText captioned
// kLumoErrorCaption, with an OK button, through the process's prompts.
void ShowRedirectFileNotSet();

}  // namespace norwin::host
