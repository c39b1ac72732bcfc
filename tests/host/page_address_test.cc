#include "norwin/host/page_address.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "norwin/host/course_address.h"
#include "norwin/host/navigation_check.h"
#include "norwin/platform/drives.h"
#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

class PageAddressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ResetDrivesForTesting();
    std::filesystem::create_directories(prefix_.path() / "drives");
    std::filesystem::create_directories(course_.path() / "Lessons");
    std::filesystem::create_directory_symlink(course_.path(), prefix_.path() / "drives" / "d");
  }
  void TearDown() override { platform::ResetDrivesForTesting(); }

  testing::TempPrefix prefix_;
  testing::TempDir course_;
};

TEST_F(PageAddressTest, BrowserAddressesOfPathsAndRelativeTexts) {
  EXPECT_EQ(BrowserAddress("http://server/x.asp?a=1"), "http://server/x.asp?a=1");
  EXPECT_EQ(BrowserAddress("about:blank"), "about:blank");
  // Windows paths are addresses of their drive.
  EXPECT_EQ(BrowserAddress("d:\\lessons\\one.htm"), "lumo://d/lessons/one.htm");
  EXPECT_EQ(BrowserAddress("D:/start.htm?a=1"), "lumo://d/start.htm?a=1");
  EXPECT_EQ(BrowserAddress("q:\\nowhere.htm"), std::nullopt);
  EXPECT_EQ(BrowserAddress(""), std::nullopt);
  // Relative to the calling page; root-relative to the root of its drive.
  const std::string page = "lumo://d/Lessons/one.htm";
  EXPECT_EQ(BrowserAddress("two.htm", page), "lumo://d/Lessons/two.htm");
  EXPECT_EQ(BrowserAddress("..\\notes.htm", page), "lumo://d/notes.htm");
  EXPECT_EQ(BrowserAddress("\\pop1.htm", page), "lumo://d/pop1.htm");
  EXPECT_EQ(BrowserAddress("/pop3.htm", page), "lumo://d/pop3.htm");
  EXPECT_EQ(BrowserAddress("lumo://d/Lessons/\\pop1.htm"), "lumo://d/pop1.htm");
  EXPECT_EQ(BrowserAddress("d:\\start.htm", "http://server/a/b.htm"), "lumo://d/start.htm");
  EXPECT_EQ(BrowserAddress("c.htm?x=1", "http://server/a/b.htm"), "http://server/a/c.htm?x=1");
  EXPECT_EQ(BrowserAddress("/root.htm", "http://server/a/b.htm"), "http://server/root.htm");
  // Without a page, a path is taken on the current drive (c: here, which
  // is / without a link of its own).
  EXPECT_EQ(BrowserAddress("\\tmp\\x.htm"), "lumo://c/tmp/x.htm");
  // Characters an address cannot hold are escaped, "%" among them.
  EXPECT_EQ(BrowserAddress("d:\\my page 100%.htm"), "lumo://d/my%20page%20100%25.htm");
}

TEST(CourseAddressTest, DriveLettersAndBackslashesBecomeTheDrivesAddress) {
  const struct {
    const char* given;
    const char* canonical;  // nullptr: none
    const char* path;       // nullptr: none
  } kCases[] = {
      {"e:\\start.htm", "lumo://e/start.htm", "e:\\start.htm"},
      {"E:/Course/x.htm?a=1#top", "lumo://e/Course/x.htm?a=1#top", "e:\\Course\\x.htm"},
      {"e:start.htm", "lumo://e/start.htm", "e:\\start.htm"},
      {"d:\\my%20page.htm", "lumo://d/my%20page.htm", "d:\\my page.htm"},
      {"lumo://d/sub/\\pop1.htm", "lumo://d/pop1.htm", "d:\\pop1.htm"},
      {"lumo://d/sub/%5Cpop1.htm?x", "lumo://d/pop1.htm?x", "d:\\pop1.htm"},
      {"lumo://d/sub/inner\\x.htm", "lumo://d/sub/inner/x.htm", "d:\\sub\\inner\\x.htm"},
      {"lumo://d/sub/..\\..\\..\\x.htm", "lumo://d/x.htm", "d:\\x.htm"},
      {"lumo://d/sub/x.htm", nullptr, "d:\\sub\\x.htm"},
      {"lumo://d", nullptr, "d:\\"},
      {"lumo://dd/x.htm", nullptr, nullptr},
      {"http://d/x\\y.htm", nullptr, nullptr},
      {"file:///x.htm", nullptr, nullptr},
      {"about:blank", nullptr, nullptr},
  };
  for (const auto& c : kCases) {
    const std::optional<std::string> canonical = CanonicalCourseAddress(c.given);
    EXPECT_EQ(canonical.value_or("<none>"), c.canonical ? c.canonical : "<none>") << c.given;
    EXPECT_EQ(CourseFilePath(c.given).value_or("<none>"), c.path ? c.path : "<none>") << c.given;
  }
  EXPECT_EQ(CourseAddress('D', "\\a\\.\\b\\"), "lumo://d/a/b/");
  EXPECT_EQ(CourseAddress('1', "x"), std::nullopt);
}

TEST_F(PageAddressTest, OnlyCoursePagesAreTrusted) {
  EXPECT_EQ(WebOrigin("HTTP://Server.Example/x"), "http://server.example:80");
  EXPECT_EQ(WebOrigin("https://server.example:8443/x"), "https://server.example:8443");
  EXPECT_EQ(WebOrigin("file:///x.htm"), std::nullopt);
  EXPECT_EQ(WebOrigin("not an address"), std::nullopt);

  const TrustedPages trusted({"http://course.example/start.htm?SessionState=1", "d:\\x.htm"});
  EXPECT_TRUE(trusted.IsTrusted("file:///anything/at/all.htm"));
  EXPECT_TRUE(trusted.IsTrusted("lumo://e/x.htm"));
  EXPECT_TRUE(trusted.IsTrusted("http://course.example:80/other/page.htm"));
  EXPECT_TRUE(trusted.IsTrusted("HTTP://COURSE.EXAMPLE/page.htm"));
  EXPECT_FALSE(trusted.IsTrusted("https://course.example/page.htm"));
  EXPECT_FALSE(trusted.IsTrusted("http://course.example:8080/page.htm"));
  EXPECT_FALSE(trusted.IsTrusted("http://course.example.evil.test/page.htm"));
  EXPECT_FALSE(trusted.IsTrusted("about:blank"));
  EXPECT_FALSE(trusted.IsTrusted("data:text/html,<script>1</script>"));
  EXPECT_FALSE(trusted.IsTrusted(""));

  // The redirect targets of the registry count as the course's too.
  auto registry = platform::Registry::OpenDefault();
  ASSERT_TRUE(registry.ok());
  const std::string key = "HKEY_LOCAL_MACHINE\\Software\\Norwin Interactive\\Pellam";
  ASSERT_TRUE((*registry)
                  ->SetValue(key, kExamFileRedirectValue,
                             platform::RegValue::String("http://vellora.example:81/exam.asp"))
                  .ok());
  const TrustedPages course = TrustedPages::ForCourse("file:///start.htm", registry->get(),
                                                      "Software\\Norwin Interactive\\Pellam");
  EXPECT_TRUE(course.IsTrusted("http://vellora.example:81/results.asp"));
  EXPECT_FALSE(course.IsTrusted("http://vellora.example/results.asp"));
  const TrustedPages without = TrustedPages::ForCourse("file:///start.htm", nullptr, "x");
  EXPECT_FALSE(without.IsTrusted("http://vellora.example:81/results.asp"));
}

}  // namespace
}  // namespace norwin::host
