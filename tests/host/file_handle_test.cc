#include "norwin/host/file_handle.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/drive_links.h"
#include "support/no_file_locks.h"

namespace norwin::host {
namespace {

using norwin::testing::DriveLinks;

std::string ReadNative(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class FileHandleTest : public ::testing::Test {
 protected:
  DriveLinks drives_;
  std::filesystem::path ten_ = drives_.Write('e', "course/ten.txt", "0123456789");
};

TEST_F(FileHandleTest, OpensInItsFourModes) {
  FileHandle file;
  // Read: existing files only, from the start; the name's case does not
  // matter on a course drive.
  ASSERT_TRUE(file.Open("e:\\COURSE\\Ten.TXT", OpenMode::kRead));
  EXPECT_TRUE(file.IsOpen());
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(file.Write("x", 1), -1);  // no write access
  EXPECT_FALSE(file.Open("e:\\course\\missing.txt", OpenMode::kRead));
  EXPECT_FALSE(file.IsOpen());  // the earlier file was closed first

  // Append: existing files only, positioned at the end; writing extends.
  ASSERT_TRUE(file.Open("e:\\course\\ten.txt", OpenMode::kAppend));
  EXPECT_EQ(file.GetPosition(), 10);
  EXPECT_TRUE(file.AtEnd());
  EXPECT_EQ(file.WriteString("AB"), 2);
  EXPECT_EQ(file.GetLength(), 12);
  EXPECT_EQ(file.Read(buffer, 1), -1);  // no read access
  EXPECT_FALSE(file.Open("e:\\course\\missing.txt", OpenMode::kAppend));
  EXPECT_EQ(ReadNative(ten_), "0123456789AB");

  // Read-write: existing files only, from the start, content kept.
  ASSERT_TRUE(file.Open("e:\\course\\ten.txt", OpenMode::kReadWrite));
  EXPECT_EQ(file.GetPosition(), 0);
  EXPECT_EQ(file.Write("ab", 2), 2);
  EXPECT_EQ(file.Read(buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "234");
  EXPECT_FALSE(file.Open("e:\\course\\missing.txt", OpenMode::kReadWrite));
  EXPECT_EQ(ReadNative(ten_), "ab23456789AB");

  // Write: an existing file is emptied, a missing one created.
  ASSERT_TRUE(file.Open("e:\\course\\ten.txt", OpenMode::kWrite));
  EXPECT_EQ(file.GetLength(), 0);
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(ReadNative(ten_), "");
  ASSERT_TRUE(file.Open("e:\\course\\new.txt", OpenMode::kWrite));
  EXPECT_EQ(file.WriteString("fresh"), 5);
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(file.Close());  // nothing held any more
  EXPECT_EQ(ReadNative(drives_.Link('e') / "course/new.txt"), "fresh");

  // Create: read and write, emptied or created.
  ASSERT_TRUE(file.Create("e:\\course\\new.txt"));
  EXPECT_EQ(file.GetLength(), 0);
  EXPECT_EQ(file.WriteString("again"), 5);
  EXPECT_EQ(file.SeekToBegin(), 0);
  EXPECT_EQ(file.Read(buffer, 16), 5);
  EXPECT_EQ(std::string(buffer, 5), "again");
}

TEST_F(FileHandleTest, SeeksAndReportsFailuresAsMinusOne) {
  FileHandle file;
  // Without a file every operation fails.
  char buffer[16];
  EXPECT_EQ(file.Read(buffer, 1), -1);
  EXPECT_EQ(file.Write("x", 1), -1);
  EXPECT_EQ(file.Seek(0, SeekOrigin::kBegin), -1);
  EXPECT_EQ(file.GetPosition(), -1);
  EXPECT_EQ(file.GetLength(), -1);
  EXPECT_FALSE(file.AtEnd());

  ASSERT_TRUE(file.Open("e:\\course\\ten.txt", OpenMode::kRead));
  EXPECT_EQ(file.Seek(4, SeekOrigin::kBegin), 4);
  // The length leaves the position where it was.
  EXPECT_EQ(file.GetLength(), 10);
  EXPECT_EQ(file.GetPosition(), 4);
  EXPECT_EQ(file.Seek(3, SeekOrigin::kCurrent), 7);
  EXPECT_EQ(file.Seek(-2, SeekOrigin::kEnd), 8);
  EXPECT_FALSE(file.AtEnd());
  EXPECT_EQ(file.Read(buffer, 16), 2);  // fewer at the end
  EXPECT_TRUE(file.AtEnd());
  EXPECT_EQ(file.Read(buffer, 16), 0);
  EXPECT_EQ(file.Read(buffer, 0), 0);
  EXPECT_EQ(file.Read(buffer, -1), -1);
  EXPECT_EQ(file.SeekToEnd(), 10);
  // Before the start, past 32 bits, or from an unknown origin: -1, and the
  // position stays.
  EXPECT_EQ(file.Seek(-11, SeekOrigin::kEnd), -1);
  EXPECT_EQ(file.Seek(-1, SeekOrigin::kBegin), -1);
  EXPECT_EQ(file.Seek(5, static_cast<SeekOrigin>(3)), -1);
  EXPECT_EQ(file.GetPosition(), 10);
  EXPECT_EQ(file.Seek(2147483647, SeekOrigin::kBegin), 2147483647);
  EXPECT_EQ(file.Seek(2147483647, SeekOrigin::kCurrent), 4294967294);
  EXPECT_EQ(file.Seek(1, SeekOrigin::kCurrent), -1);
  EXPECT_EQ(file.GetPosition(), 4294967294);

  FileHandle writer;
  ASSERT_TRUE(writer.Open("e:\\course\\big.bin", OpenMode::kWrite));
  EXPECT_EQ(writer.Seek(2147483647, SeekOrigin::kBegin), 2147483647);
  EXPECT_EQ(writer.Seek(2147483646, SeekOrigin::kCurrent), 4294967293);
  EXPECT_EQ(writer.Write("ab", 2), -1);  // would pass the largest position
  EXPECT_EQ(writer.WriteString(nullptr), -1);
}

TEST_F(FileHandleTest, SharesLikeTheOriginal) {
  FileHandle reader;
  FileHandle other;
  ASSERT_TRUE(reader.Open("e:\\course\\ten.txt", OpenMode::kRead));
  // Readers share with readers only.
  EXPECT_TRUE(other.Open("e:\\course\\ten.txt", OpenMode::kRead));
  EXPECT_TRUE(FileCanBeOpened("e:\\course\\ten.txt"));
  EXPECT_FALSE(other.Open("e:\\course\\ten.txt", OpenMode::kReadWrite));
  EXPECT_FALSE(other.Open("e:\\course\\ten.txt", OpenMode::kAppend));
  EXPECT_FALSE(other.Create("e:\\course\\ten.txt"));
  // A write-mode open that conflicts does not empty the file.
  EXPECT_FALSE(other.Open("e:\\course\\ten.txt", OpenMode::kWrite));
  EXPECT_EQ(ReadNative(ten_), "0123456789");
  reader.Close();

  // A writer holds the file alone, also against this process's readers...
  FileHandle writer;
  ASSERT_TRUE(writer.Open("e:\\course\\ten.txt", OpenMode::kAppend));
  EXPECT_FALSE(FileCanBeOpened("e:\\course\\ten.txt"));
  EXPECT_FALSE(other.Open("e:\\course\\ten.txt", OpenMode::kWrite));
  // ...and against other processes of the system.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FileHandle in_child;
    const bool opened = in_child.Open("e:\\course\\ten.txt", OpenMode::kRead);
    _exit(opened ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  // Closing releases the file.
  EXPECT_TRUE(writer.Close());
  EXPECT_TRUE(FileCanBeOpened("e:\\course\\ten.txt"));
  {
    FileHandle scoped;
    ASSERT_TRUE(scoped.Open("e:\\course\\ten.txt", OpenMode::kReadWrite));
  }
  EXPECT_TRUE(other.Open("e:\\course\\ten.txt", OpenMode::kReadWrite));
}

TEST_F(FileHandleTest, OpensAsIfUnlockedWhereTheFileSystemHasNoLocks) {
  norwin::testing::NoFileLocks no_locks;
  ::testing::internal::CaptureStderr();
  FileHandle writer;
  FileHandle reader;
  ASSERT_TRUE(writer.Open("e:\\course\\ten.txt", OpenMode::kAppend));
  ASSERT_TRUE(reader.Open("e:\\course\\ten.txt", OpenMode::kRead));
  EXPECT_EQ(writer.WriteString("+"), 1);
  char bytes[12] = {};
  EXPECT_EQ(reader.Read(bytes, 11), 11);
  EXPECT_STREQ(bytes, "0123456789+");
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("does not support file locks"),
            std::string::npos);
}

TEST_F(FileHandleTest, FailsQuietlyForWhatIsNoFile) {
  drives_.LinkNowhere('f');
  EXPECT_FALSE(FileCanBeOpened("f:\\course\\ten.txt"));  // drive without a disc
  EXPECT_FALSE(FileCanBeOpened("g:\\course\\ten.txt"));  // no such drive
  EXPECT_FALSE(FileCanBeOpened("e:\\course"));           // a folder
  EXPECT_FALSE(FileCanBeOpened(""));
  EXPECT_FALSE(FileCanBeOpened("e:\\course\\ten.txt\\x"));
  EXPECT_TRUE(FileCanBeOpened("e:/course/ten.txt"));
  const std::filesystem::path pipe = drives_.Link('e') / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  FileHandle file;
  EXPECT_FALSE(file.Open("e:\\pipe", OpenMode::kRead));  // without blocking
  EXPECT_FALSE(file.Open("e:\\pipe", OpenMode::kWrite));
  EXPECT_FALSE(file.Open("e:\\course", OpenMode::kWrite));
}

}  // namespace
}  // namespace norwin::host
