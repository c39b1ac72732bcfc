// Opening a title's content database as schools meet it: on media that
// refuse the companion files of a WAL database, while another process writes
// it, and holding text written in the Windows code page.
#include "norwin/datalayer/content_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "norwin/automation/error.h"
#include "norwin/datalayer/objective.h"
#include "norwin/datalayer/objectives.h"
#include "norwin/platform/clock.h"
#include "support/content_database_builder.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::AutomationError;
using automation::MakeRef;
using automation::Variant;

// A connection of another process, for changing or locking the file.
class OtherProcess {
 public:
  explicit OtherProcess(const fs::path& path) { sqlite3_open(path.c_str(), &db_); }
  ~OtherProcess() { sqlite3_close(db_); }
  int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

 private:
  sqlite3* db_ = nullptr;
};

// The test clock, calling `on_sleep` at every wait.
class WatchedSource final : public platform::SystemSource {
 public:
  TimePoint Now() override { return clock_.Now(); }
  std::chrono::seconds UtcOffset(TimePoint when) override { return clock_.UtcOffset(when); }
  void Sleep(std::chrono::milliseconds duration, platform::WaitEvents events) override {
    clock_.Sleep(duration, events);
    if (on_sleep) on_sleep();
  }
  double Random() override { return clock_.Random(); }
  uint32_t TickCount() override { return clock_.TickCount(); }

  platform::ManualSource clock_;
  std::function<void()> on_sleep;
};

class ContentDatabaseTest : public ::testing::Test {
 protected:
  fs::path WriteTitle(std::string_view label = "Edit text") {
    const fs::path path = prefix_.path() / "title.db";
    testing::ContentDatabaseBuilder db(path);
    db.AddObjective("W1", "Word", "Editing", std::string(label));
    return path;
  }
  // Objectives loaded from `path`; raises what the load raises.
  automation::Ref<Objectives> Load(const fs::path& path) {
    auto objectives = MakeRef<Objectives>();
    EXPECT_TRUE(objectives->Load(path.string(), Variant::Null()));
    return objectives;
  }

  testing::TempPrefix prefix_;
  WatchedSource source_;
  platform::ScopedSourceForTesting source_scope_{&source_};
};

TEST_F(ContentDatabaseTest, AWalDatabaseOpensWhereItsCompanionFilesCannotBeMade) {
  const fs::path title = WriteTitle();
  ASSERT_EQ(OtherProcess(title).Exec("PRAGMA journal_mode=WAL"), SQLITE_OK);
  // As on a read-only disc: the write-ahead log can be neither found nor
  // made beside the database.
  fs::create_directory(title.string() + "-wal");
  EXPECT_EQ(Load(title)->Members()->size(), 1u);

  // What cannot be read that way still says why.
  const fs::path junk = prefix_.path() / "junk.db";
  std::ofstream(junk) << "no database at all, but long enough to have a header......";
  fs::create_directory(junk.string() + "-wal");
  try {
    (void)Load(junk);
    ADD_FAILURE() << "a file that is no database must not load";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, kContentDatabaseError + SQLITE_NOTADB) << e.description;
  }
}

TEST_F(ContentDatabaseTest, ADatabaseAnotherProcessWritesIsWaitedForBriefly) {
  const fs::path title = WriteTitle();
  OtherProcess writer(title);
  ASSERT_EQ(writer.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
  try {
    (void)Load(title);
    ADD_FAILURE() << "a database locked throughout must fail the load";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, kContentDatabaseError + SQLITE_BUSY) << e.description;
  }
  EXPECT_GE(source_.clock_.total_slept(), kContentBusyTimeout);
  EXPECT_LT(source_.clock_.total_slept(), kContentBusyTimeout + std::chrono::milliseconds(500));

  // A writer that finishes within the wait: the load goes on.
  source_.on_sleep = [&] { writer.Exec("COMMIT"); };
  EXPECT_EQ(Load(title)->Members()->size(), 1u);
}

TEST_F(ContentDatabaseTest, TextInTheWindowsCodePageLoadsAndSaves) {
  const fs::path title = WriteTitle("Caf\xe9 \x93quoted\x94");
  auto objectives = Load(title);
  const auto* objective = objectives->Members()->FindObject<Objective>("W1");
  ASSERT_NE(objective, nullptr);
  EXPECT_EQ(objective->Label(), "Café “quoted”");
  const fs::path saved = prefix_.path() / "objectives.xml";
  ASSERT_TRUE(objectives->Save(saved.string()));
  std::stringstream text;
  text << std::ifstream(saved).rdbuf();
  EXPECT_NE(text.str().find("Café “quoted”"), std::string::npos) << text.str();
}

}  // namespace
}  // namespace norwin::datalayer
