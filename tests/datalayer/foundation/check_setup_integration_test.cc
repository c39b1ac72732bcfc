// The set-up check over folders and servers named in the program settings.
#include "norwin/datalayer/check_setup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "norwin/automation/dispatch.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/program_settings.h"
#include "support/loopback_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::Variant;

class CheckSetupTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::ResetDrivesForTesting(); }
  void TearDown() override {
    SetServerTimeLimitsForTesting(ServerTimeLimits{});
    platform::ResetDrivesForTesting();
  }

  std::string Check(const char* app = "Pellam", const char* section = "Setup") {
    auto check = automation::MakeRef<CheckSetup>();
    return automation::CallByName(*check, "CheckSetup", automation::DISPATCH_METHOD,
                                  {Variant(app), Variant(section)})
        .string();
  }
  void Set(const char* key, const std::string& value) {
    ASSERT_TRUE(platform::SaveSetting("Pellam", "Setup", key, value).ok());
  }

  testing::TempPrefix prefix_;
  testing::TempDir folder_;
};

TEST_F(CheckSetupTest, NothingToCheckWithoutSettings) {
  EXPECT_EQ(Check(), "");
  EXPECT_EQ(Check("", ""), "");
  Set("XMLDir", "");
  EXPECT_EQ(Check(), "");
}

TEST_F(CheckSetupTest, MissingFoldersAreReportedInSettingsOrder) {
  ASSERT_FALSE(std::filesystem::exists("/x"));
  Set("XMLDir", "C:\\x");
  EXPECT_EQ(Check(),
            "Directory specified for registry entry 'XMLDir' does not exist ('C:\\x/').\r");

  std::filesystem::create_directory(folder_.path() / "Pools");
  std::filesystem::create_directories(prefix_.path() / "drives");
  std::filesystem::create_directory_symlink(folder_.path(), prefix_.path() / "drives" / "e");
  Set("QuestionPoolDir", "e:\\POOLS\\");
  Set("TestResultsDir", folder_.path().string());
  Set("StudentIdDir", "e:\\students");
  EXPECT_EQ(Check(),
            "Directory specified for registry entry 'XMLDir' does not exist ('C:\\x/').\r"
            "Directory specified for registry entry 'StudentIdDir' does not exist "
            "('e:\\students/').\r");
  // The check changes no setting.
  EXPECT_EQ(*platform::GetSetting("Pellam", "Setup", "StudentIdDir", ""), "e:\\students");
}

TEST_F(CheckSetupTest, ServersCountAsRespondingWhenTheyAnswerAnything) {
  testing::LoopbackServer server;
  server.Reply("POST", "/app/LoginKey.asp", "Internal error", 500);
  Set("XMLDir", server.url("/app"));
  Set("TestResultsDir", "http://127.0.0.1:1/results/");
  EXPECT_EQ(Check(),
            "URL specified for registry entry 'TestResultsDir' : "
            "('http://127.0.0.1:1/results/') is not responding .\r");
  ASSERT_EQ(server.request_count(), 1u);
  EXPECT_EQ(server.last_request().method, "POST");
  EXPECT_EQ(server.last_request().target, "/app/LoginKey.asp");
  EXPECT_EQ(server.last_request().body, "");

  SetServerTimeLimitsForTesting(
      ServerTimeLimits{std::chrono::milliseconds(500), std::chrono::milliseconds(300)});
  server.AnswerNothing(std::chrono::seconds(20));
  Set("TestResultsDir", "");
  EXPECT_EQ(Check(), "URL specified for registry entry 'XMLDir' : ('" + server.url("/app") +
                         "') is not responding .\r");
}

}  // namespace
}  // namespace norwin::datalayer
