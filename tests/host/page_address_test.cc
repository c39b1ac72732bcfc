#include "norwin/host/page_address.h"

#include <gtest/gtest.h>

#include <filesystem>

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

  std::string FileUri(const std::filesystem::path& path) { return "file://" + path.string(); }

  testing::TempPrefix prefix_;
  testing::TempDir course_;
};

TEST_F(PageAddressTest, BrowserAddressesOfPathsAndRelativeTexts) {
  EXPECT_EQ(BrowserAddress("http://server/x.asp?a=1"), "http://server/x.asp?a=1");
  EXPECT_EQ(BrowserAddress("about:blank"), "about:blank");
  // Windows paths through the drives, letter case of the disc ignored.
  EXPECT_EQ(BrowserAddress("d:\\lessons\\one.htm"),
            FileUri(course_.path() / "Lessons" / "one.htm"));
  EXPECT_EQ(BrowserAddress("D:/start.htm"), FileUri(course_.path() / "start.htm"));
  EXPECT_EQ(BrowserAddress("q:\\nowhere.htm"), std::nullopt);
  EXPECT_EQ(BrowserAddress(""), std::nullopt);
  // Relative to the calling page.
  const std::string page = FileUri(course_.path() / "Lessons" / "one.htm");
  EXPECT_EQ(BrowserAddress("two.htm", page), FileUri(course_.path() / "Lessons" / "two.htm"));
  EXPECT_EQ(BrowserAddress("..\\notes.htm", page), FileUri(course_.path() / "notes.htm"));
  EXPECT_EQ(BrowserAddress("d:\\start.htm", "http://server/a/b.htm"),
            FileUri(course_.path() / "start.htm"));
  EXPECT_EQ(BrowserAddress("c.htm?x=1", "http://server/a/b.htm"), "http://server/a/c.htm?x=1");
  EXPECT_EQ(BrowserAddress("/root.htm", "http://server/a/b.htm"), "http://server/root.htm");
  // A space in a file name is escaped as an address needs it.
  EXPECT_EQ(BrowserAddress("d:\\my page.htm"),
            "file://" + course_.path().string() + "/my%20page.htm");
}

TEST_F(PageAddressTest, OnlyCoursePagesAreTrusted) {
  EXPECT_EQ(WebOrigin("HTTP://Server.Example/x"), "http://server.example:80");
  EXPECT_EQ(WebOrigin("https://server.example:8443/x"), "https://server.example:8443");
  EXPECT_EQ(WebOrigin("file:///x.htm"), std::nullopt);
  EXPECT_EQ(WebOrigin("not an address"), std::nullopt);

  const TrustedPages trusted({"http://course.example/start.htm?SessionState=1", "d:\\x.htm"});
  EXPECT_TRUE(trusted.IsTrusted("file:///anything/at/all.htm"));
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
