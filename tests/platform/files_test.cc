#include "norwin/platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

namespace fs = std::filesystem;
using norwin::testing::TempDir;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FilesTest, ReplacesFilesWholeKeepingModeAndLinks) {
  TempDir dir;
  const fs::path file = dir.path() / "tck.txt";
  ASSERT_TRUE(WriteFileAtomically(file, "first\n").ok());
  EXPECT_EQ(ReadBytes(file), "first\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(WriteFileAtomically(file, std::string("second\0line", 11)).ok());
  EXPECT_EQ(ReadBytes(file), std::string("second\0line", 11));
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // Writing through a link replaces the file it points to; the link stays.
  const fs::path link = dir.path() / "link.txt";
  fs::create_symlink(file, link);
  ASSERT_TRUE(WriteFileAtomically(link, "through the link").ok());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadBytes(file), "through the link");

  // A failure names the file and leaves nothing behind.
  Status failed = WriteFileAtomically(dir.path() / "missing" / "x.txt", "x");
  ASSERT_FALSE(failed.ok());
  EXPECT_NE(failed.message().find("missing/x.txt"), std::string::npos) << failed.message();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"link.txt", "tck.txt"}));
}

TEST(FilesTest, TemporaryFilesOfKilledWritersAreRemovedByTheNextWrite) {
  TempDir dir;
  const fs::path file = dir.path() / "tck.txt";
  // Left by a writer killed before its rename; one still being written
  // (its writer holds the lock); another file's.
  for (const char* name : {".tck.txt.tmp-Ab12Cd", ".tck.txt.tmp-live00", ".roster.xml.tmp-Ab12Cd"})
    std::ofstream(dir.path() / name) << "partial";
  const int live = open((dir.path() / ".tck.txt.tmp-live00").c_str(), O_RDONLY);
  ASSERT_GE(live, 0);
  ASSERT_EQ(flock(live, LOCK_EX), 0);
  ASSERT_TRUE(WriteFileAtomically(file, "new").ok());
  close(live);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{".roster.xml.tmp-Ab12Cd", ".tck.txt.tmp-live00", "tck.txt"}));
  EXPECT_EQ(ReadBytes(file), "new");
}

TEST(FilesTest, AWriteBeyondTheFileSizeLimitFailsInsteadOfKillingTheProcess) {
  TempDir dir;
  const fs::path file = dir.path() / "records.xml";
  ASSERT_TRUE(WriteFileAtomically(file, "old").ok());
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_DFL);
    const rlimit small{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &small);
    const Status written = WriteFileAtomically(file, std::string(4096, 'x'));
    _exit(!written.ok() && written.message().find("file-size limit") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadBytes(file), "old");
}

TEST(FilesTest, ReadsOnlyBoundedRegularFiles) {
  TempDir dir;
  const fs::path file = dir.path() / "data.bin";
  const std::string content(5000, 'x');
  std::ofstream(file, std::ios::binary) << content;
  Result<std::string> read = ReadFileCapped(file, 5000);
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(*read, content);
  EXPECT_FALSE(ReadFileCapped(file, 4999).ok());
  EXPECT_FALSE(ReadFileCapped(dir.path(), 100).ok());
  Result<std::string> missing = ReadFileCapped(dir.path() / "none", 100);
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("none"), std::string::npos);
  // Files that report no size (those of /proc) are read to their end.
  Result<std::string> status = ReadFileCapped("/proc/self/status", 1 << 20);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_NE(status->find("Umask:"), std::string::npos);
}

}  // namespace
}  // namespace norwin::platform
