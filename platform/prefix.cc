#include "norwin/platform/prefix.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

namespace norwin::platform {

namespace {

std::filesystem::path HomeDir() {
  if (const char* home = getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

}  // namespace

std::filesystem::path PrefixDir() {
  if (const char* prefix = getenv("NORWIN_PREFIX"); prefix && *prefix) return prefix;
  if (const char* data = getenv("XDG_DATA_HOME"); data && *data)
    return std::filesystem::path(data) / "norwin";
  return HomeDir() / ".local" / "share" / "norwin";
}

std::filesystem::path EnsurePrefixDir() {
  std::filesystem::path dir = PrefixDir();
  std::error_code ignored;
  std::filesystem::create_directories(dir, ignored);
  return dir;
}

}  // namespace norwin::platform
