#include "norwin/host/demo_course.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

using norwin::platform::Registry;
using norwin::platform::RegValue;
using norwin::testing::TempDir;

class DemoRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = Registry::Open(dir_.path() / "registry.db");
    ASSERT_TRUE(opened.ok()) << opened.message();
    registry_ = std::move(opened.value());
  }
  std::string Value(std::string_view name) {
    auto value = registry_->GetValue(kDemoKey, name);
    return value.ok() && *value ? (*value)->text : "<none>";
  }

  TempDir dir_;
  std::unique_ptr<Registry> registry_;
};

TEST_F(DemoRecordsTest, GivesTheDemoFoldersOfTheUsersOwnAndKeepsWhatIsNamed) {
  // Nothing named: both folders in the prefix, made.
  const auto prefix = dir_.path() / "prefix";
  ASSERT_TRUE(PrepareDemoRecords(*registry_, prefix).ok());
  EXPECT_EQ(Value("Records"), (prefix / "demo-records").string());
  EXPECT_EQ(Value("Path"), (prefix / "demo-records" / "progress").string());
  EXPECT_TRUE(std::filesystem::is_directory(prefix / "demo-records" / "progress"));

  // A record server and a progress folder named by the teacher stay; an
  // empty value counts as none.
  ASSERT_TRUE(registry_->SetValue(kDemoKey, "Records", RegValue::String("http://h/class/")).ok());
  ASSERT_TRUE(registry_->SetValue(kDemoKey, "Path", RegValue::String("")).ok());
  ASSERT_TRUE(PrepareDemoRecords(*registry_, dir_.path() / "other").ok());
  EXPECT_EQ(Value("Records"), "http://h/class/");
  EXPECT_EQ(Value("Path"), (dir_.path() / "other" / "demo-records" / "progress").string());

  // A folder that cannot be made is named in the failure, and not set.
  const auto file = dir_.path() / "file";
  std::FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  ASSERT_TRUE(registry_->DeleteValue(kDemoKey, "Path").ok());
  const Status failed = PrepareDemoRecords(*registry_, file);
  EXPECT_FALSE(failed.ok());
  EXPECT_NE(failed.message().find(file.string()), std::string::npos) << failed.message();
  EXPECT_EQ(Value("Path"), "<none>");
}

}  // namespace
}  // namespace norwin::host
