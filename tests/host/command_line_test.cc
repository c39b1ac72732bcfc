#include "norwin/host/command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "norwin/host/module.h"
#include "norwin/host/string_table.h"

namespace norwin::host {
namespace {

TEST(CommandLineTest, ChoosesTheStartMode) {
  EXPECT_EQ(StartModeOf("/RegServer"), StartMode::kRegister);
  EXPECT_EQ(StartModeOf("/rEGsERVER"), StartMode::kRegister);
  EXPECT_EQ(StartModeOf("/UnRegServer"), StartMode::kUnregister);
  EXPECT_EQ(StartModeOf("/unregserver"), StartMode::kUnregister);
  // Only the whole command line counts.
  EXPECT_EQ(StartModeOf("/RegServer x"), StartMode::kRun);
  EXPECT_EQ(StartModeOf(" /RegServer"), StartMode::kRun);
  EXPECT_EQ(StartModeOf("-RegServer"), StartMode::kRun);
  EXPECT_EQ(StartModeOf(""), StartMode::kChooseSettings);
  // Blanks are a location (trimmed to an empty one later), not a reason to
  // offer the chooser.
  EXPECT_EQ(StartModeOf("   "), StartMode::kRun);
  EXPECT_EQ(StartModeOf("--help"), StartMode::kHelp);
  EXPECT_EQ(StartModeOf("--HELP"), StartMode::kRun);
  EXPECT_EQ(StartModeOf("--version"), StartMode::kVersion);
  EXPECT_EQ(StartModeOf("--demo"), StartMode::kDemo);
  EXPECT_EQ(StartModeOf("--demo x"), StartMode::kRun);
  EXPECT_EQ(StartModeOf("-h"), StartMode::kHelp);
  EXPECT_EQ(StartModeOf("\"d:\\course\\x.cfg\""), StartMode::kRun);
}

TEST(CommandLineTest, JoinsAndTrims) {
  const char* const argv[] = {"lumo", "d:\\My", "Course\\x.cfg", ""};
  EXPECT_EQ(JoinArguments(4, argv), "d:\\My Course\\x.cfg ");
  EXPECT_EQ(JoinArguments(1, argv), "");
  EXPECT_EQ(TrimWhiteSpace(" \t d:\\x.cfg \r\n"), "d:\\x.cfg");
  EXPECT_EQ(TrimWhiteSpace(" \t "), "");
  EXPECT_EQ(TrimWhiteSpace("a b"), "a b");
}

TEST(CommandLineTest, ScansForRegistrationSwitchesAsTheServerModuleDid) {
  EXPECT_EQ(ScanRegistrationSwitch("/usr/bin/lumo /RegServer"), RegistrationSwitch::kRegServer);
  EXPECT_EQ(ScanRegistrationSwitch("/usr/bin/lumo -unregserver"), RegistrationSwitch::kUnregServer);
  // A token runs to the end of the line: text after the switch spoils it.
  EXPECT_EQ(ScanRegistrationSwitch("/usr/bin/lumo /RegServer now"), RegistrationSwitch::kNone);
  // The scan goes on from each "-" or "/" it found.
  EXPECT_EQ(ScanRegistrationSwitch("/opt/lu-mo/lumo c:/x/RegServer"),
            RegistrationSwitch::kRegServer);
  EXPECT_EQ(ScanRegistrationSwitch("/usr/bin/lumo d:\\course\\x.cfg"), RegistrationSwitch::kNone);
  EXPECT_EQ(ScanRegistrationSwitch("lumo -Embedding"), RegistrationSwitch::kNone);
  EXPECT_EQ(ScanRegistrationSwitch("lumo /"), RegistrationSwitch::kNone);
  EXPECT_EQ(ScanRegistrationSwitch(""), RegistrationSwitch::kNone);
  EXPECT_NE(UsageText().find("/RegServer"), std::string_view::npos);
}

TEST(ModuleTest, QuitsWhenTheLastLockGoes) {
  int quits = 0;
  Module module([&] { ++quits; });
  EXPECT_EQ(module.Lock(), 1);
  EXPECT_EQ(module.Lock(), 2);
  EXPECT_EQ(module.Unlock(), 1);
  EXPECT_EQ(quits, 0);
  EXPECT_EQ(module.Unlock(), 0);
  EXPECT_EQ(quits, 1);
  // An unlock too many neither goes negative nor quits again.
  EXPECT_EQ(module.Unlock(), 0);
  EXPECT_EQ(module.lock_count(), 0);
  EXPECT_EQ(quits, 1);
  // A new lock after the quit starts another round.
  module.Lock();
  module.Unlock();
  EXPECT_EQ(quits, 2);
}

TEST(StringTableTest, LoadsEntriesCutToTheirBuffer) {
  const StringTable table{{7, "seven"}, {3, "caf\xC3\xA9"}, {9, ""}, {7, "SEVEN"}};
  EXPECT_EQ(table.Load(7, 100), "SEVEN");  // the later entry of an id wins
  EXPECT_EQ(table.Load(7, 3), "SE");
  EXPECT_EQ(table.Load(3, 5), "caf");  // "é" does not fit whole in 4 bytes
  EXPECT_EQ(table.Load(3, 6), "caf\xC3\xA9");
  EXPECT_EQ(table.Load(9, 100), std::nullopt);
  EXPECT_EQ(table.Load(8, 100), std::nullopt);
  EXPECT_EQ(table.Load(7, 0), std::nullopt);
  EXPECT_EQ(ProgramStrings().Load(kIdsProjName, 255), "Lumo");
  EXPECT_EQ(ProgramStrings().Load(kIdsSettingsFilter, 260), "Settings (*.cfg)|*.cfg|");
  EXPECT_EQ(ProgramStrings().Load(kIdsAboutMenu, 260), "About Lumo...");
  EXPECT_EQ(ProgramStrings().Load(kIdsProgressFilter, 260), "Progress Files (*.txt)|*.txt|");
  EXPECT_EQ(ProgramStrings().Load(106, 260), std::nullopt);
}

}  // namespace
}  // namespace norwin::host
