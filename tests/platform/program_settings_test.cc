#include "norwin/platform/program_settings.h"

#include <gtest/gtest.h>

#include "norwin/platform/registry.h"
#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

using norwin::testing::TempPrefix;
using Settings = std::vector<std::pair<std::string, std::string>>;

TEST(ProgramSettingsTest, RoundTripThroughTheRegistry) {
  TempPrefix prefix;
  EXPECT_EQ(*GetSetting("Pellam", "Setup", "XMLDir", ""), "");
  EXPECT_EQ(*GetSetting("Pellam", "Setup", "XMLDir", "C:\\x"), "C:\\x");

  ASSERT_TRUE(SaveSetting("Pellam", "Setup", "XMLDir", "d:\\records\\xml").ok());
  ASSERT_TRUE(SaveSetting("PELLAM", "setup", "StudentIdDir", "http://h/app/").ok());
  ASSERT_TRUE(SaveSetting("pellam", "SETUP", "xmldir", "e:\\moved").ok());
  EXPECT_EQ(*GetSetting("Pellam", "Setup", "XMLDir", ""), "e:\\moved");
  EXPECT_EQ(*GetAllSettings("Pellam", "Setup"),
            (Settings{{"XMLDir", "e:\\moved"}, {"StudentIdDir", "http://h/app/"}}));

  // The values are where the registry tools look for them.
  Result<std::unique_ptr<Registry>> registry = Registry::OpenDefault();
  ASSERT_TRUE(registry.ok()) << registry.message();
  Result<std::optional<RegValue>> stored = (*registry)->GetValue(
      "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Pellam\\Setup", "StudentIdDir");
  ASSERT_TRUE(stored.ok()) << stored.message();
  EXPECT_EQ(*stored, RegValue::String("http://h/app/"));
  // A number set by an administrator reads as its text.
  ASSERT_TRUE((*registry)
                  ->SetValue(ProgramSettingsKey("Pellam", "Setup"), "Retries", RegValue::Dword(3))
                  .ok());
  EXPECT_EQ(*GetSetting("Pellam", "Setup", "Retries", ""), "3");

  ASSERT_TRUE(DeleteSetting("Pellam", "Setup", "XMLDir").ok());
  EXPECT_EQ(*GetSetting("Pellam", "Setup", "XMLDir", "gone"), "gone");
  EXPECT_FALSE(DeleteSetting("Pellam", "Setup", "XMLDir").ok());
  ASSERT_TRUE(DeleteSetting("Pellam", "SETUP").ok());
  EXPECT_EQ(*GetSetting("Pellam", "Setup", "StudentIdDir", "gone"), "gone");
  EXPECT_EQ(*GetAllSettings("Pellam", "Setup"), Settings{});
  EXPECT_FALSE(DeleteSetting("Pellam", "Setup").ok());
}

TEST(ProgramSettingsTest, RefusesEmptyNames) {
  TempPrefix prefix;
  EXPECT_FALSE(SaveSetting("", "Setup", "k", "v").ok());
  EXPECT_FALSE(SaveSetting("Pellam", "", "k", "v").ok());
  EXPECT_FALSE(SaveSetting("Pellam", "Setup", "", "v").ok());
  EXPECT_FALSE(GetSetting("Pellam", "Setup", "", "d").ok());
  EXPECT_FALSE(DeleteSetting("", "Setup").ok());
  EXPECT_EQ(*GetAllSettings("Pellam", "Setup"), Settings{});
}

TEST(ProgramSettingsTest, ReportsARegistryThatCannotBeOpened) {
  TempPrefix prefix;
  // A prefix whose registry database is a folder cannot hold settings.
  std::filesystem::create_directories(prefix.path() / "registry.db");
  Result<std::string> value = GetSetting("Pellam", "Setup", "XMLDir", "");
  EXPECT_FALSE(value.ok());
  EXPECT_FALSE(value.message().empty());
  EXPECT_FALSE(SaveSetting("Pellam", "Setup", "XMLDir", "x").ok());
}

}  // namespace
}  // namespace norwin::platform
