// The demo course's drive: which letter `lumo --demo` links, and that it
// never changes a drive the user has.
#include "norwin/host/demo_course.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::TempPrefix;

TEST(DemoCourseTest, LinksTheFirstFreeDriveOrTheOneThatHoldsIt) {
  struct Case {
    const char* name;
    std::vector<std::string> other_drives;  // letters linked to another folder
    std::string course_drive;               // a letter already linked to the course, or ""
    std::string expected;
  };
  const Case cases[] = {
      {"fresh prefix", {}, "", "d:\\demo.cfg"},
      {"d: and e: are the user's", {"d", "e"}, "", "f:\\demo.cfg"},
      {"the course already is g:", {"d"}, "g", "g:\\demo.cfg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempPrefix prefix;
    TempDir course, other;
    std::ofstream(course.path() / "demo.cfg") << "[general]\nrun=\\start.htm\ntitle=Demo\n";
    const fs::path drives = prefix.path() / "drives";
    fs::create_directories(drives);
    for (const std::string& letter : c.other_drives) {
      fs::create_directory_symlink(other.path(), drives / letter);
    }
    if (!c.course_drive.empty())
      fs::create_directory_symlink(course.path(), drives / c.course_drive);

    Result<std::string> location = PrepareDemoCourse(course.path());
    ASSERT_TRUE(location.ok()) << location.message();
    EXPECT_EQ(*location, c.expected);
    const fs::path link = drives / c.expected.substr(0, 1);
    EXPECT_TRUE(fs::equivalent(link, course.path()));
    for (const std::string& letter : c.other_drives) {
      EXPECT_TRUE(fs::equivalent(drives / letter, other.path())) << letter << ": was changed";
    }
  }
}

TEST(DemoCourseTest, FailsWithoutTheCourseOrAFreeLetter) {
  TempPrefix prefix;
  TempDir course, other;
  Result<std::string> missing = PrepareDemoCourse(course.path());
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("demo.cfg"), std::string::npos) << missing.message();
  EXPECT_FALSE(fs::exists(prefix.path() / "drives" / "d"));

  std::ofstream(course.path() / "demo.cfg") << "[general]\n";
  fs::create_directories(prefix.path() / "drives");
  // A drive without its disc (a dangling link) is taken too.
  fs::create_directory_symlink(prefix.path() / "nowhere", prefix.path() / "drives" / "d");
  for (char letter = 'e'; letter <= 'z'; ++letter) {
    fs::create_directory_symlink(other.path(), prefix.path() / "drives" / std::string(1, letter));
  }
  Result<std::string> full = PrepareDemoCourse(course.path());
  ASSERT_FALSE(full.ok());
  EXPECT_NE(full.message().find("no free drive letter"), std::string::npos) << full.message();
}

}  // namespace
}  // namespace norwin::host
