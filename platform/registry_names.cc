#include "registry_names.h"

#include <glib.h>

#include <algorithm>
#include <array>

#include "norwin/platform/codepage.h"

namespace norwin::platform::registry_internal {

namespace {

constexpr size_t kMaxKeyNameUnits = 255;
// Windows' limits on a key: 512 levels below its root, and its whole path
// (root included) a few thousand characters. Without them a hostile .reg
// file of endless nesting grows the database by hundreds of megabytes.
constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxKeyPathUnits = 4096;

struct RootAlias {
  std::string_view short_name;
  std::string_view long_name;
};

constexpr std::array<RootAlias, 5> kRoots = {{
    {"HKCR", kRootNames[0]},
    {"HKCU", kRootNames[1]},
    {"HKLM", kRootNames[2]},
    {"HKU", kRootNames[3]},
    {"HKPD", kRootNames[4]},
}};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (g_ascii_toupper(a[i]) != g_ascii_toupper(b[i])) return false;
  }
  return true;
}

bool HasControlCharacter(std::string_view s) {
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return true;
  }
  return false;
}

// Length in UTF-16 code units, the unit of Windows' name limits.
size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

Status KeyError(std::string_view key, std::string_view why) {
  std::string message = "key '";
  message.append(key).append("': ").append(why);
  return Status::Error(std::move(message));
}

// The beginning of a key too long to show whole, cut between characters.
std::string Shortened(std::string_view key) {
  constexpr size_t kShown = 200;
  if (key.size() <= kShown) return std::string(key);
  size_t end = kShown;
  while (end > 0 && (static_cast<unsigned char>(key[end]) & 0xC0) == 0x80) --end;
  return std::string(key.substr(0, end)) + "...";
}

}  // namespace

std::string Fold(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  const char* p = name.data();
  const char* end = p + name.size();
  while (p < end) {
    const auto b = static_cast<unsigned char>(*p);
    if (b < 0x80) {
      out.push_back(g_ascii_toupper(*p));
      ++p;
      continue;
    }
    const gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      // Not reached for checked names; a stray byte compares as itself.
      out.push_back(*p++);
      continue;
    }
    const char* next = g_utf8_next_char(p);
    std::array<char, 6> buf;
    const gint n = g_unichar_to_utf8(g_unichar_toupper(c), buf.data());
    out.append(buf.data(), static_cast<size_t>(n));
    p = next;
  }
  return out;
}

Result<KeyPath> ParseKeyPath(std::string_view key) {
  std::string_view rest = key;
  if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  const size_t root_end = rest.find('\\');
  const std::string_view root = rest.substr(0, root_end);
  if (root.empty()) return KeyError(key, "it does not begin with a root key");

  KeyPath path;
  for (size_t i = 0; i < kRoots.size(); ++i) {
    if (EqualsIgnoringAsciiCase(root, kRoots[i].short_name) ||
        EqualsIgnoringAsciiCase(root, kRoots[i].long_name)) {
      path.display = kRoots[i].long_name;
      break;
    }
  }
  if (path.display.empty()) {
    return KeyError(key,
                    "unknown root key '" + std::string(root) +
                        "' (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, "
                        "HKEY_PERFORMANCE_DATA or HKCR, HKCU, HKLM, HKU, HKPD)");
  }
  path.folded = path.display;
  path.is_root = root_end == std::string_view::npos;
  if (path.is_root) return path;

  std::string_view below = rest.substr(root_end + 1);
  if (!IsValidUtf8(below)) return KeyError(key, "it is not valid UTF-8");
  if (static_cast<size_t>(std::count(below.begin(), below.end(), '\\')) + 1 > kMaxKeyDepth)
    return KeyError(Shortened(key),
                    "it is more than " + std::to_string(kMaxKeyDepth) + " levels deep");
  if (path.display.size() + 1 + Utf16Length(below) > kMaxKeyPathUnits)
    return KeyError(Shortened(key),
                    "its path is longer than " + std::to_string(kMaxKeyPathUnits) + " characters");
  path.display.reserve(path.display.size() + 1 + below.size());
  while (true) {
    const size_t slash = below.find('\\');
    const std::string_view part = below.substr(0, slash);
    if (part.empty()) return KeyError(key, "it holds an empty key name (two backslashes)");
    if (HasControlCharacter(part)) return KeyError(key, "a key name holds a control character");
    if (Utf16Length(part) > kMaxKeyNameUnits) {
      return KeyError(key, "a key name is longer than 255 characters");
    }
    path.display.push_back('\\');
    path.display.append(part);
    if (slash == std::string_view::npos) break;
    below.remove_prefix(slash + 1);
  }
  path.folded = Fold(path.display);
  return path;
}

Status CheckValueName(std::string_view name) {
  if (!IsValidUtf8(name)) return Status::Error("the value name is not valid UTF-8");
  if (HasControlCharacter(name)) {
    return Status::Error("the value name holds a control character");
  }
  return Status::Ok();
}

}  // namespace norwin::platform::registry_internal
