#include "norwin/host/page_address.h"

#include <glib.h>

#include <algorithm>

#include "norwin/host/course_address.h"
#include "norwin/host/navigation_check.h"
#include "norwin/platform/drives.h"

namespace norwin::host {
namespace {

// The scheme of `text` when it begins with one of at least two characters
// ("http:", "about:"); a one-letter "scheme" is a drive letter.
std::optional<std::string> SchemeOf(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2) return std::nullopt;
  if (!g_ascii_isalpha(text[0])) return std::nullopt;
  for (size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!g_ascii_isalnum(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
  }
  std::string scheme(text.substr(0, colon));
  for (char& c : scheme) c = g_ascii_tolower(c);
  return scheme;
}

// The address of a Windows path resolved through the drives: its course
// address on the drive that holds it, else its file: URI.
std::optional<std::string> FileUri(std::string_view windows_path) {
  Result<std::filesystem::path> native = platform::ResolveWindowsPath(windows_path);
  if (!native.ok()) return std::nullopt;
  if (std::optional<std::string> windows = platform::ToWindowsPath(*native)) {
    return CourseAddress((*windows)[0], std::string_view(*windows).substr(2));
  }
  char* uri = g_filename_to_uri(native->c_str(), nullptr, nullptr);
  if (!uri) return std::nullopt;
  std::string result(uri);
  g_free(uri);
  return result;
}

std::optional<std::string> ResolveAgainst(std::string_view base, std::string_view location) {
  std::string relative(location);
  std::replace(relative.begin(), relative.end(), '\\', '/');
  const std::string base_text(base);
  char* resolved =
      g_uri_resolve_relative(base_text.c_str(), relative.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (!resolved) return std::nullopt;
  std::string result(resolved);
  g_free(resolved);
  return result;
}

}  // namespace

std::optional<std::string> BrowserAddress(std::string_view location, std::string_view base) {
  if (location.empty()) return std::nullopt;
  const bool drive_path =
      location.size() >= 2 && location[1] == ':' && g_ascii_isalpha(location[0]);
  if (drive_path) {
    if (!platform::DriveExists(location[0])) return std::nullopt;
    return CourseAddress(location[0], location.substr(2));
  }
  if (SchemeOf(location)) {
    if (std::optional<std::string> canonical = CanonicalCourseAddress(location)) return canonical;
    return std::string(location);
  }
  const std::optional<std::string> base_scheme = SchemeOf(base);
  const bool root_relative = location[0] == '\\' || location[0] == '/';
  if (!base_scheme) return FileUri(location);
  if (*base_scheme == kCourseScheme) {
    // A root-relative path is on the calling page's drive; any other is
    // relative to its folder.
    if (root_relative) return CourseAddress(base[kCourseScheme.size() + 3], location);
    std::optional<std::string> resolved = ResolveAgainst(base, location);
    if (!resolved) return std::nullopt;
    if (std::optional<std::string> canonical = CanonicalCourseAddress(*resolved)) return canonical;
    return resolved;
  }
  if (*base_scheme == "file" && root_relative) return FileUri(location);
  return ResolveAgainst(base, location);
}

std::optional<std::string> WebOrigin(std::string_view address) {
  const std::string text(address);
  GUri* uri = g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (!uri) return std::nullopt;
  std::optional<std::string> origin;
  const char* scheme = g_uri_get_scheme(uri);
  const char* host = g_uri_get_host(uri);
  if (scheme && host && *host) {
    std::string lower_scheme(scheme);
    for (char& c : lower_scheme) c = g_ascii_tolower(c);
    int port = g_uri_get_port(uri);
    if (lower_scheme == "http" || lower_scheme == "https") {
      if (port < 0) port = lower_scheme == "http" ? 80 : 443;
      std::string lower_host(host);
      for (char& c : lower_host) c = g_ascii_tolower(c);
      origin = lower_scheme + "://" + lower_host + ":" + std::to_string(port);
    }
  }
  g_uri_unref(uri);
  return origin;
}

TrustedPages::TrustedPages(const std::vector<std::string>& course_pages) {
  for (const std::string& page : course_pages) {
    if (std::optional<std::string> origin = WebOrigin(page)) origins_.push_back(std::move(*origin));
  }
}

TrustedPages TrustedPages::ForCourse(std::string_view start_page, platform::Registry* registry,
                                     std::string_view redir_key) {
  std::vector<std::string> pages{std::string(start_page)};
  for (std::string_view name : {kFramesetRedirectValue, kExamFileRedirectValue}) {
    if (std::optional<std::string> value = RedirectValue(registry, redir_key, name)) {
      pages.push_back(std::move(*value));
    }
  }
  return TrustedPages(pages);
}

bool TrustedPages::IsTrusted(std::string_view address) const {
  const std::optional<std::string> scheme = SchemeOf(address);
  if (!scheme) return false;
  if (*scheme == "file" || *scheme == kCourseScheme) return true;
  const std::optional<std::string> origin = WebOrigin(address);
  return origin && std::find(origins_.begin(), origins_.end(), *origin) != origins_.end();
}

}  // namespace norwin::host
