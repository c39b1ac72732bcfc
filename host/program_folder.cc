#include "norwin/host/program_folder.h"

#include <unistd.h>

#include <system_error>

#include "norwin/platform/prefix.h"

namespace norwin::host {

namespace fs = std::filesystem;

fs::path ExecutableFolder() {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : executable.parent_path();
}

// Without /proc there is no folder to test; the fallback is always usable.
fs::path ProgramFolder() { return ProgramFolderFor(ExecutableFolder()); }

fs::path ProgramFolderFor(const fs::path& executable_folder) {
  // Creating a file takes write and search permission on the folder.
  if (!executable_folder.empty() && access(executable_folder.c_str(), W_OK | X_OK) == 0)
    return executable_folder;
  fs::path fallback = platform::PrefixDir() / "lumo";
  std::error_code ignored;
  fs::create_directories(fallback, ignored);
  return fallback;
}

}  // namespace norwin::host
