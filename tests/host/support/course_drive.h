// Test helper: a course drive of its own for one test. A private
// $NORWIN_PREFIX whose drive `letter` is a fresh temporary folder, so that
// Windows paths such as "q:\index\words.idx" reach files the test wrote.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "norwin/platform/drives.h"
#include "support/temp_prefix.h"

namespace norwin::testing {

class CourseDrive {
 public:
  explicit CourseDrive(char letter = 'q') : letter_(letter) {
    std::filesystem::create_directories(prefix_.path() / "drives");
    std::filesystem::create_directory_symlink(disc_.path(),
                                              prefix_.path() / "drives" / std::string(1, letter));
    platform::ResetDrivesForTesting();
  }
  ~CourseDrive() { platform::ResetDrivesForTesting(); }

  char letter() const { return letter_; }
  const std::filesystem::path& root() const { return disc_.path(); }

  // Writes `bytes` to `relative` (forward slashes) below the root, making folders.
  std::filesystem::path Write(const std::string& relative, std::string_view bytes) const {
    const std::filesystem::path file = disc_.path() / relative;
    std::filesystem::create_directories(file.parent_path());
    // A new file rather than a truncated one: ext4 flushes a file truncated
    // and written again to disk at once, which makes tests crawl.
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
  }

 private:
  char letter_;
  TempPrefix prefix_;
  TempDir disc_;
};

}  // namespace norwin::testing
