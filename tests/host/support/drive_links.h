// Test helper: a private $NORWIN_PREFIX with drives of its own. Each drive
// letter linked with Link() is a fresh temporary folder; a letter linked
// with LinkNowhere() exists but holds nothing, like a disc drive without a
// disc. Drive c: is always linked (to an empty folder at first), so that
// no test reaches the machine's own root folder through it.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "norwin/platform/drives.h"
#include "support/temp_prefix.h"

namespace norwin::testing {

class DriveLinks {
 public:
  DriveLinks() {
    std::filesystem::create_directories(prefix_.path() / "drives");
    Link('c');
  }
  ~DriveLinks() { platform::ResetDrivesForTesting(); }
  DriveLinks(const DriveLinks&) = delete;
  DriveLinks& operator=(const DriveLinks&) = delete;

  // Makes `letter` a drive whose folder is a fresh temporary folder.
  const std::filesystem::path& Link(char letter) {
    auto& folder = folders_[letter];
    if (!folder) {
      folder = std::make_unique<TempDir>();
      std::filesystem::create_directory_symlink(folder->path(), LinkPath(letter));
      platform::ResetDrivesForTesting();
    }
    return folder->path();
  }
  // Makes `letter` a drive whose link points nowhere.
  void LinkNowhere(char letter) {
    std::filesystem::create_directory_symlink(prefix_.path() / "no-disc", LinkPath(letter));
    platform::ResetDrivesForTesting();
  }

  // Writes `bytes` to `relative` (forward slashes) on drive `letter`,
  // making folders; the native path.
  std::filesystem::path Write(char letter, const std::string& relative, std::string_view bytes) {
    const std::filesystem::path file = Link(letter) / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
  }

  const std::filesystem::path& prefix() const { return prefix_.path(); }

 private:
  std::filesystem::path LinkPath(char letter) const {
    return prefix_.path() / "drives" / std::string(1, letter);
  }

  TempPrefix prefix_;
  std::map<char, std::unique_ptr<TempDir>> folders_;
};

}  // namespace norwin::testing
