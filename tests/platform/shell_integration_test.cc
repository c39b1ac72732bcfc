#include "norwin/platform/shell.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A desktop of its own below `dir`: only one application, which writes the
// arguments it was started with to `dir`/opened after a pause (so that a
// call that waited for it would be caught), and which is the default for
// plain text and for addresses of the scheme "norwintest". GIO reads these
// folders once per process, so this runs only in a fresh child process.
void InstallTestDesktop(const fs::path& dir) {
  WriteFile(dir / "opener.sh", "#!/bin/sh\nsleep 1\necho \"$@\" > '" + (dir / "opened").string() +
                                   ".tmp'\nmv '" + (dir / "opened").string() + ".tmp' '" +
                                   (dir / "opened").string() + "'\n");
  fs::permissions(dir / "opener.sh", fs::perms::owner_all);
  WriteFile(dir / "data/applications/norwin-test-opener.desktop",
            "[Desktop Entry]\nType=Application\nName=Norwin test opener\nExec=" +
                (dir / "opener.sh").string() +
                " %u\nMimeType=text/plain;x-scheme-handler/norwintest;\n");
  WriteFile(dir / "config/mimeapps.list",
            "[Default Applications]\ntext/plain=norwin-test-opener.desktop\n"
            "x-scheme-handler/norwintest=norwin-test-opener.desktop\n");
  fs::create_directories(dir / "empty");
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  setenv("XDG_DATA_DIRS", (dir / "empty").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", (dir / "empty").c_str(), 1);
}

// Child-process outcomes.
constexpr int kOpened = 0;
constexpr int kFailed = 3;
constexpr int kReturnedTooLate = 4;
constexpr int kNeverOpened = 5;

// Opens `target` (a file when it holds no ':', else an address), and exits
// with one of the codes above; the error goes to standard error.
[[noreturn]] void OpenInChild(const fs::path& dir, const std::string& target,
                              const std::string& expect_argument) {
  InstallTestDesktop(dir);
  const auto start = std::chrono::steady_clock::now();
  Status status = target.find(':') == std::string::npos ? OpenWithDefaultApplication(target)
                                                        : OpenUriWithDefaultApplication(target);
  const auto took = std::chrono::steady_clock::now() - start;
  int code = kOpened;
  if (!status.ok()) {
    fprintf(stderr, "%s\n", status.message().c_str());
    code = kFailed;
  } else if (took >= std::chrono::milliseconds(900)) {
    code = kReturnedTooLate;
  } else {
    code = kNeverOpened;
    for (int i = 0; i < 200 && code == kNeverOpened; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (fs::exists(dir / "opened") && ReadFile(dir / "opened") == expect_argument + "\n")
        code = kOpened;
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  fflush(stderr);
  _exit(code);
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ShellTest, StartsTheDefaultApplicationWithoutWaitingForIt) {
  EXPECT_EXIT(
      {
        norwin::testing::TempDir dir;
        const fs::path text = dir.path() / "notes for class.txt";
        WriteFile(text, "Plain text notes.\n");
        OpenInChild(dir.path(), text.string(), text.string());
      },
      ::testing::ExitedWithCode(kOpened), "");
  EXPECT_EXIT(
      {
        norwin::testing::TempDir dir;
        OpenInChild(dir.path(), "norwintest:lesson?id=7", "norwintest:lesson?id=7");
      },
      ::testing::ExitedWithCode(kOpened), "");
}

TEST_F(ShellTest, ReportsAFileTypeNothingHandles) {
  EXPECT_EXIT(
      {
        norwin::testing::TempDir dir;
        const fs::path data = dir.path() / "scores.zzqq";
        WriteFile(data, std::string("\x00\x01\x02\xFF binary", 11));
        OpenInChild(dir.path(), data.string(), "");
      },
      ::testing::ExitedWithCode(kFailed), "cannot open .*scores\\.zzqq: .+");
}

TEST_F(ShellTest, RefusesWhatIsNeitherAFileNorAnAddress) {
  norwin::testing::TempDir dir;
  Status missing = OpenWithDefaultApplication(dir.path() / "missing.txt");
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("missing.txt"), std::string::npos) << missing.message();
  Status no_scheme = OpenUriWithDefaultApplication("just some words");
  ASSERT_FALSE(no_scheme.ok());
  EXPECT_NE(no_scheme.message().find("not an address"), std::string::npos) << no_scheme.message();
}

}  // namespace
}  // namespace norwin::platform
