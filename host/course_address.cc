#include "norwin/host/course_address.h"

#include <glib.h>

#include <vector>

namespace norwin::host {
namespace {

enum class KeepPercent { kNo, kYes };

bool IsDriveLetter(char c) { return g_ascii_isalpha(c); }

// Where the path of `text` ends: at its query or fragment.
size_t PathEnd(std::string_view text) {
  const size_t end = text.find_first_of("?#");
  return end == std::string_view::npos ? text.size() : end;
}

// `path` ("/"-separated) from the root: empty names and "." dropped, ".."
// going up (never above the root), a trailing separator kept.
std::string Normalize(std::string_view path) {
  std::vector<std::string_view> names;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(pos, end - pos);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    pos = end + 1;
  }
  std::string out;
  for (const std::string_view name : names) {
    out += '/';
    out += name;
  }
  const bool folder = path.ends_with('/') || path.ends_with("/.") || path.ends_with("/..");
  if (out.empty() || (folder && !names.empty())) out += '/';
  return out;
}

// `path` with what an address may not hold percent-encoded.
std::string Escape(std::string_view path, KeepPercent keep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = g_ascii_isalnum(c) ||
                       std::string_view("-._~!$&'()*+,;=:@/").find(c) != std::string_view::npos;
    if (plain || (c == '%' && keep == KeepPercent::kYes)) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

// "lumo://d" + the normalized, escaped `windows_path` + `suffix`.
std::string Compose(char drive, std::string_view windows_path, std::string_view suffix,
                    KeepPercent keep) {
  std::string path(windows_path);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  std::string address(kCourseScheme);
  address += "://";
  address += g_ascii_tolower(drive);
  address += Escape(Normalize(path), keep);
  address.append(suffix);
  return address;
}

// `path` with every "%5C" (either case) as the backslash it stands for.
std::string DecodeBackslashes(std::string_view path) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size() && path[i + 1] == '5' &&
        (path[i + 2] == 'c' || path[i + 2] == 'C')) {
      out += '\\';
      i += 2;
    } else {
      out += path[i];
    }
  }
  return out;
}

// The drive letter and the rest of a course address ("lumo://d/x?q" gives
// 'd' and "/x?q"); nullopt for any other address.
std::optional<std::pair<char, std::string_view>> SplitCourseAddress(std::string_view address) {
  const size_t prefix = kCourseScheme.size() + 3;
  if (address.size() < prefix + 1 ||
      g_ascii_strncasecmp(address.data(), kCourseScheme.data(), kCourseScheme.size()) != 0 ||
      address.substr(kCourseScheme.size(), 3) != "://") {
    return std::nullopt;
  }
  const char drive = address[prefix];
  const std::string_view rest = address.substr(prefix + 1);
  if (!IsDriveLetter(drive) ||
      (!rest.empty() && rest[0] != '/' && rest[0] != '?' && rest[0] != '#')) {
    return std::nullopt;
  }
  return std::pair{static_cast<char>(g_ascii_tolower(drive)), rest};
}

}  // namespace

std::optional<std::string> CourseAddress(char drive, std::string_view path) {
  if (!IsDriveLetter(drive)) return std::nullopt;
  const size_t end = PathEnd(path);
  return Compose(drive, path.substr(0, end), path.substr(end), KeepPercent::kNo);
}

std::optional<std::string> CanonicalCourseAddress(std::string_view address) {
  if (address.size() >= 2 && IsDriveLetter(address[0]) && address[1] == ':') {
    const std::string_view rest = address.substr(2);
    const size_t end = PathEnd(rest);
    return Compose(address[0], rest.substr(0, end), rest.substr(end), KeepPercent::kYes);
  }
  const std::optional<std::pair<char, std::string_view>> split = SplitCourseAddress(address);
  if (!split) return std::nullopt;
  const auto [drive, rest] = *split;
  const size_t end = PathEnd(rest);
  std::string path = DecodeBackslashes(rest.substr(0, end));
  if (path.find('\\') == std::string::npos) return std::nullopt;
  // The engine appends a root-relative Windows path to the page's folder;
  // it starts again at the drive's root.
  const size_t restart = path.rfind("/\\");
  if (restart != std::string::npos) path.erase(0, restart + 1);
  return Compose(drive, path, rest.substr(end), KeepPercent::kYes);
}

std::optional<std::string> CourseFilePath(std::string_view address) {
  const std::optional<std::string> canonical = CanonicalCourseAddress(address);
  const std::string_view text = canonical ? std::string_view(*canonical) : address;
  const std::optional<std::pair<char, std::string_view>> split = SplitCourseAddress(text);
  if (!split) return std::nullopt;
  const std::string encoded(split->second.substr(0, PathEnd(split->second)));
  char* decoded = g_uri_unescape_string(encoded.c_str(), nullptr);
  if (!decoded) return std::nullopt;  // an escaped NUL
  std::string path{split->first, ':'};
  path += *decoded ? decoded : "/";
  g_free(decoded);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace norwin::host
