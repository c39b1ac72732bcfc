#include "norwin/platform/drives.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

namespace fs = std::filesystem;
using norwin::testing::TempDir;
using norwin::testing::TempPrefix;

// A prefix of its own and a course disc (a folder tree) for every test; the
// drive state starts afresh.
class DrivesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDrivesForTesting();
    fs::create_directories(disc() / "course" / "Media");
    std::ofstream(disc() / "course" / "start.htm") << "<html></html>";
    std::ofstream(disc() / "course" / "Media" / "intro.MP3") << "sound";
    fs::create_directories(prefix_.path() / "drives");
  }
  void TearDown() override { ResetDrivesForTesting(); }

  const fs::path& disc() const { return disc_.path(); }
  void Link(char letter, const fs::path& target) {
    fs::create_directory_symlink(target, prefix_.path() / "drives" / std::string(1, letter));
  }
  fs::path Resolve(std::string_view path) {
    Result<fs::path> resolved = ResolveWindowsPath(path);
    EXPECT_TRUE(resolved.ok()) << path << ": " << resolved.message();
    return resolved.value_or({});
  }

  TempPrefix prefix_;
  TempDir disc_;
};

TEST_F(DrivesTest, LettersAreTheLinksOfThePrefix) {
  EXPECT_EQ(DriveRoot('c'), fs::path("/"));
  EXPECT_FALSE(DriveExists('d'));
  EXPECT_FALSE(DriveExists('1'));
  EXPECT_EQ(ExistingDrives(), std::vector<char>{'c'});

  Link('d', disc());
  Link('e', "../elsewhere/");  // relative to the drives folder; need not exist
  fs::create_directories(prefix_.path() / "drives" / "f");
  EXPECT_EQ(DriveRoot('D'), disc());
  EXPECT_EQ(DriveRoot('e'), prefix_.path() / "elsewhere");
  EXPECT_TRUE(DriveExists('e'));  // a drive without a disc is still a drive
  EXPECT_EQ(DriveRoot('f'), prefix_.path() / "drives" / "f");
  EXPECT_EQ(ExistingDrives(), (std::vector<char>{'c', 'd', 'e', 'f'}));

  Link('c', disc());
  EXPECT_EQ(DriveRoot('c'), disc());
}

TEST_F(DrivesTest, FindsCourseFilesWhateverTheCaseOfTheirNames) {
  Link('d', disc());
  EXPECT_EQ(Resolve("d:\\course\\start.htm"), disc() / "course" / "start.htm");
  EXPECT_EQ(Resolve("D:\\COURSE\\Start.HTM"), disc() / "course" / "start.htm");
  EXPECT_EQ(Resolve("d:/Course/MEDIA/Intro.mp3"), disc() / "course" / "Media" / "intro.MP3");
  // A new file keeps its name in the existing folder; below a missing folder
  // everything stays as written.
  EXPECT_EQ(Resolve("D:\\COURSE\\Notes.TXT"), disc() / "course" / "Notes.TXT");
  EXPECT_EQ(Resolve("d:\\Missing\\COURSE\\x"), disc() / "Missing" / "COURSE" / "x");
  // Of several names that differ only in case, the same one is always taken.
  std::ofstream(disc() / "course" / "START.HTM") << "upper";
  EXPECT_EQ(Resolve("d:\\course\\Start.htm"), disc() / "course" / "START.HTM");
  EXPECT_EQ(Resolve("d:\\course\\start.htm"), disc() / "course" / "start.htm");
}

TEST_F(DrivesTest, ResolvesRelativeFormsFromTheCurrentFolders) {
  Link('d', disc());
  Link('e', disc() / "course");
  ASSERT_TRUE(SetCurrentDrive('D').ok());
  EXPECT_EQ(CurrentDrive(), 'd');
  EXPECT_EQ(CurrentDirectory(), "d:\\");
  EXPECT_EQ(Resolve("\\course\\start.htm"), disc() / "course" / "start.htm");
  EXPECT_EQ(Resolve("/course/start.htm"), disc() / "course" / "start.htm");

  ASSERT_TRUE(SetCurrentDirectory("D:\\COURSE\\media").ok());
  EXPECT_EQ(CurrentDirectory(), "d:\\course\\Media");
  EXPECT_EQ(Resolve("intro.mp3"), disc() / "course" / "Media" / "intro.MP3");
  EXPECT_EQ(Resolve("..\\start.htm"), disc() / "course" / "start.htm");
  EXPECT_EQ(Resolve("d:.\\intro.mp3"), disc() / "course" / "Media" / "intro.MP3");
  EXPECT_EQ(Resolve("d:"), disc() / "course" / "Media");

  // Another drive keeps its own folder; d:'s stays while e: is current.
  ASSERT_TRUE(SetCurrentDirectory("e:media").ok());
  EXPECT_EQ(CurrentDirectory(), "e:\\Media");
  EXPECT_EQ(*CurrentDirectoryOn('d'), "d:\\course\\Media");
  EXPECT_EQ(Resolve("d:..\\start.htm"), disc() / "course" / "start.htm");

  // ".." never climbs above a drive's root.
  EXPECT_EQ(Resolve("e:\\..\\..\\..\\start.htm"), disc() / "course" / "start.htm");
  EXPECT_EQ(Resolve("e:media\\..\\..\\..\\start.htm"), disc() / "course" / "start.htm");
}

TEST_F(DrivesTest, CoursePathsWithABackslashRootAreOnTheCourseDrive) {
  Link('d', disc());
  auto course_path = [](std::string_view path) {
    Result<fs::path> resolved = ResolveCoursePath(path);
    return resolved.ok() ? resolved->string() : "error: " + resolved.message();
  };
  // Without a course drive (lumo-script, tools) they are Windows paths.
  EXPECT_EQ(CourseDrive(), std::nullopt);
  EXPECT_EQ(course_path("\\course\\start.htm"), "/course/start.htm");

  SetCourseDrive('D');
  EXPECT_EQ(CourseDrive(), 'd');
  const std::string on_d = (disc() / "course" / "start.htm").string();
  const std::pair<std::string_view, std::string> cases[] = {
      {"\\course\\start.htm", on_d},
      {"\\COURSE/Start.htm", on_d},
      {"d:\\course\\start.htm", on_d},
      {"/usr/share/doc", "/usr/share/doc"},  // a native path stays one
      {"c:\\usr", "/usr"},
      {"\\\\server\\share", "error: network paths are not supported: \\\\server\\share"},
  };
  for (const auto& [path, native] : cases) EXPECT_EQ(course_path(path), native) << path;
  // The current drive is not changed by it, and relative names keep to it.
  EXPECT_EQ(CurrentDrive(), 'c');
  ASSERT_TRUE(SetCurrentDirectory("d:\\course").ok());
  EXPECT_EQ(course_path("start.htm"), on_d);
}

TEST_F(DrivesTest, RefusesWhatIsNoPathOnADrive) {
  EXPECT_FALSE(ResolveWindowsPath("").ok());
  EXPECT_FALSE(ResolveWindowsPath("\\\\server\\share\\x").ok());
  EXPECT_FALSE(ResolveWindowsPath("1:\\x").ok());
  EXPECT_FALSE(ResolveWindowsPath(std::string_view("c:\\a\0b", 6)).ok());
  Result<fs::path> missing = ResolveWindowsPath("q:\\course\\start.htm");
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("q:"), std::string::npos) << missing.message();

  Link('d', disc());
  ASSERT_TRUE(SetCurrentDirectory("d:\\course").ok());
  // Failed changes leave the current drive and folder as they were.
  EXPECT_FALSE(SetCurrentDrive('q').ok());
  EXPECT_FALSE(SetCurrentDirectory("d:\\course\\start.htm").ok());
  EXPECT_FALSE(SetCurrentDirectory("d:\\nowhere").ok());
  EXPECT_FALSE(SetCurrentDirectory("q:\\").ok());
  EXPECT_EQ(CurrentDirectory(), "d:\\course");
  EXPECT_FALSE(CurrentDirectoryOn('q').ok());
}

TEST_F(DrivesTest, DriveCStartsInTheWorkingFolder) {
  const fs::path cwd = fs::current_path();
  EXPECT_EQ(Resolve(cwd.string()), cwd);  // a native path on c: = /
  std::string expected = "c:";
  for (const fs::path& part : cwd.relative_path()) expected += "\\" + part.string();
  if (expected == "c:") expected += "\\";
  EXPECT_EQ(CurrentDirectory(), expected);
  EXPECT_EQ(Resolve("c:"), cwd);

  // When c: is somewhere that does not hold the working folder, it starts
  // at its root.
  ResetDrivesForTesting();
  Link('c', disc());
  EXPECT_EQ(CurrentDirectory(), "c:\\");
  EXPECT_EQ(Resolve("course"), disc() / "course");
}

TEST_F(DrivesTest, NativePathsMapBackToTheDeepestDrive) {
  Link('d', disc());
  Link('e', disc() / "course");
  EXPECT_EQ(ToWindowsPath(disc() / "course" / "start.htm"), "e:\\start.htm");
  EXPECT_EQ(ToWindowsPath(disc() / "other.txt"), "d:\\other.txt");
  EXPECT_EQ(ToWindowsPath(disc() / "course"), "e:\\");
  EXPECT_EQ(ToWindowsPath("/usr/share/doc"), "c:\\usr\\share\\doc");
  EXPECT_EQ(ToWindowsPath(disc() / "odd\\name"), std::nullopt);
  // Every Windows path it gives resolves to the same native path.
  EXPECT_EQ(Resolve(*ToWindowsPath(disc() / "course" / "Media")), disc() / "course" / "Media");

  Link('c', disc() / "course" / "Media");
  EXPECT_EQ(ToWindowsPath("/usr/share/doc"), std::nullopt);
}

TEST_F(DrivesTest, AFolderMountedForTheProcessIsTheNextFreeDrive) {
  Link('d', disc());
  fs::create_directories(disc() / "course");
  Result<char> letter = MountFolderAsDrive(disc() / "course");
  ASSERT_TRUE(letter.ok()) << letter.message();
  EXPECT_EQ(*letter, 'e');
  EXPECT_EQ(Resolve("e:\\start.htm"), disc() / "course" / "start.htm");
  EXPECT_EQ(ToWindowsPath(disc() / "course" / "start.htm"), "e:\\start.htm");
  EXPECT_FALSE(fs::exists(prefix_.path() / "drives" / "e"));  // nothing written
  EXPECT_FALSE(MountFolderAsDrive(disc() / "missing").ok());
  ResetDrivesForTesting();
  EXPECT_FALSE(DriveExists('e'));
}

}  // namespace
}  // namespace norwin::platform
