#include "norwin/host/navigation_check.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "support/prompt_script.h"
#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

using norwin::platform::Registry;
using norwin::platform::RegValue;
using norwin::testing::PromptScript;
using norwin::testing::TempDir;
using Kind = NavigationAction::Kind;

class Cookies final : public CookieSink {
 public:
  void SetCookie(std::string_view name, std::string_view value) override {
    values[std::string(name)] = std::string(value);
  }
  std::map<std::string, std::string> values;
};

class NavigationCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = Registry::Open(dir_.path() / "registry.db");
    ASSERT_TRUE(opened.ok()) << opened.message();
    registry_ = std::move(opened.value());
  }
  void Set(std::string_view key, std::string_view name, std::string_view value) {
    ASSERT_TRUE(registry_->SetValue(key, name, RegValue::String(std::string(value))).ok());
  }
  NavigationAction Check(std::string_view url, std::string_view redir_key = kKey,
                         std::string_view frame = "") {
    return CheckNavigation(url, frame, registry_.get(), redir_key, cookies_);
  }

  static constexpr std::string_view kKey = "Software\\Norwin Interactive\\Pellam";
  TempDir dir_;
  std::unique_ptr<Registry> registry_;
  Cookies cookies_;
  PromptScript prompts_;
};

TEST_F(NavigationCheckTest, RedirectsTheFramesetPageWhenTheValueIsSet) {
  const std::string key = "HKEY_LOCAL_MACHINE\\" + std::string(kKey);
  // Without the key or the value, the navigation proceeds.
  EXPECT_EQ(Check("http://course.example/unit1/learning/frameset.htm").kind, Kind::kNone);
  Set(key, "LumoRedirectFile", "http://vellora.example/exam.asp");
  EXPECT_EQ(Check("http://course.example/unit1/learning/frameset.htm").kind, Kind::kNone);

  Set(key, "LumoRedirectPatch001", "http://vellora.example/patch/frameset.asp");
  // Only the part before "?" is compared; the target frame goes along.
  NavigationAction action =
      Check("http://course.example/unit1/learning/frameset.htm?lesson=3", kKey, "main");
  EXPECT_EQ(action.kind, Kind::kRedirect);
  EXPECT_EQ(action.address, "http://vellora.example/patch/frameset.asp");
  EXPECT_EQ(action.target_frame, "main");
  // Either separator, any case.
  EXPECT_EQ(Check("e:\\COURSE\\LEARNING\\FRAMESET.HTM").kind, Kind::kRedirect);
  EXPECT_EQ(Check("file:///media/cd/Learning/Frameset.Htm").kind, Kind::kRedirect);
  // Other pages, and the name elsewhere than at the end, proceed.
  EXPECT_EQ(Check("http://course.example/learning/frameset.htm/x").kind, Kind::kNone);
  EXPECT_EQ(Check("http://course.example/x.htm?next=learning/frameset.htm").kind, Kind::kNone);
  EXPECT_EQ(Check("http://course.example/mylearning-frameset.htm").kind, Kind::kNone);
  // The key of another installation holds nothing.
  EXPECT_EQ(Check("e:\\learning\\frameset.htm", "Software\\Other").kind, Kind::kNone);
  EXPECT_TRUE(cookies_.values.empty());
  EXPECT_EQ(prompts_.Log(), "");
}

TEST_F(NavigationCheckTest, RedirectsExamFilesAndKeepsTheirAddress) {
  const std::string key = "HKEY_LOCAL_MACHINE\\" + std::string(kKey);
  Set(key, "LumoRedirectFile", "http://vellora.example/exam.asp");
  const std::string url = "http://course.example/exams/Final.AGC?student=7&try=2";
  NavigationAction action = Check(url, kKey, "_self");
  EXPECT_EQ(action.kind, Kind::kRedirect);
  EXPECT_EQ(action.address, "http://vellora.example/exam.asp");
  EXPECT_EQ(action.target_frame, "_self");
  EXPECT_EQ(cookies_.values, (std::map<std::string, std::string>{{"VelloraExamURL", url}}));

  // Short addresses are never redirected; ".agc" must end the path.
  EXPECT_EQ(Check(".agc").kind, Kind::kNone);
  EXPECT_EQ(Check("x.agc").kind, Kind::kRedirect);
  EXPECT_EQ(Check("http://course.example/x.agc.htm").kind, Kind::kNone);
  EXPECT_EQ(Check("http://course.example/x.htm?f=y.agc").kind, Kind::kNone);
}

TEST_F(NavigationCheckTest, StopsAndReportsAnExamFileWithoutRedirect) {
  NavigationAction action = Check("e:\\exams\\final.agc");
  EXPECT_EQ(action.kind, Kind::kStopAndReport);
  EXPECT_TRUE(cookies_.values.empty());
  // A value of another type is no address.
  ASSERT_TRUE(registry_
                  ->SetValue("HKEY_LOCAL_MACHINE\\" + std::string(kKey), "LumoRedirectFile",
                             RegValue::Dword(1))
                  .ok());
  EXPECT_EQ(Check("e:\\exams\\final.agc").kind, Kind::kStopAndReport);
  // Without a registry at all.
  EXPECT_EQ(CheckNavigation("e:\\exams\\final.agc", "", nullptr, kKey, cookies_).kind,
            Kind::kStopAndReport);
  ShowRedirectFileNotSet();
  EXPECT_EQ(prompts_.Log(),
            "Lumo Error\tThe registry entry\\nHKEY_CURRENT_USER/Software/KPX/LumoRedirectFile\\n"
            "is not set!\t0x0\tOK\n");
}

TEST_F(NavigationCheckTest, ReadsDirectlyUnderTheMachineKeyWithoutRedirKey) {
  // A configuration document without "redirKey" leaves it empty.
  Set("HKEY_LOCAL_MACHINE", "LumoRedirectFile", "http://vellora.example/root.asp");
  Set("HKEY_LOCAL_MACHINE", "LumoRedirectPatch001", "http://vellora.example/root-frameset.asp");
  EXPECT_EQ(Check("http://c.example/a.agc", "").address, "http://vellora.example/root.asp");
  EXPECT_EQ(Check("http://c.example/learning/frameset.htm", "").address,
            "http://vellora.example/root-frameset.asp");
  // With a key named, the values directly under the machine key do not count.
  EXPECT_EQ(Check("http://c.example/a.agc", kKey).kind, Kind::kStopAndReport);
}

}  // namespace
}  // namespace norwin::host
