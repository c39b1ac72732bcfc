// Addresses of course pages as the browser takes them, and which of them
// page script is trusted on.
//
// Course settings, redirect values and page script name pages as the
// Windows program's browser took them: Windows paths ("d:\start.htm",
// "\learning\index.htm"), addresses ("http://server/x.asp"), or addresses
// relative to the calling page. The web engine takes only absolute URIs.
//
// Trusted pages are those of the course: the course drives (lumo:, see
// course_address.h) and local files (file:), the pages of the start page's
// own scheme, host and port, and those of the redirect targets in the
// registry. Only they reach window.external and
// ActiveXObject; a page from anywhere else on the web must not write files
// or records on the machine.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/platform/registry.h"

namespace norwin::host {

// The absolute URI the browser loads for `location`: an address with a
// scheme of two or more letters stays as it is (a course address written
// with backslashes becomes the one it means); a Windows path with a drive
// letter becomes its course address (lumo://d/...); a path relative to a
// course page is on the page's drive (root-relative) or in its folder; a
// path without a page is taken through the drives of the system layer (its
// course address on the drive that holds it); anything else is resolved
// against `base`. nullopt for a drive that does not exist or text that is
// no address.
std::optional<std::string> BrowserAddress(std::string_view location, std::string_view base = {});

// "scheme://host:port" of an absolute http: or https: address (the port
// always written, its default when absent), in lower case; nullopt for
// anything else.
std::optional<std::string> WebOrigin(std::string_view address);

class TrustedPages {
 public:
  // Trusts file: addresses and the origins of the addresses `course_pages`
  // (Windows paths and relative texts add nothing beyond file:).
  explicit TrustedPages(const std::vector<std::string>& course_pages);

  // The course's trusted pages: its start page `start_page` and the
  // redirect targets (kFramesetRedirectValue, kExamFileRedirectValue) under
  // `redir_key`, read from `registry` now (nullptr: none).
  static TrustedPages ForCourse(std::string_view start_page, platform::Registry* registry,
                                std::string_view redir_key);

  // Whether page script at `address` may script the host and its objects.
  bool IsTrusted(std::string_view address) const;

 private:
  std::vector<std::string> origins_;
};

}  // namespace norwin::host
