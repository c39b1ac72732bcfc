#include "norwin/host/choose_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/drive_links.h"
#include "support/prompt_script.h"

namespace norwin::host {
namespace {

using norwin::testing::DriveLinks;
using norwin::testing::PromptScript;

// The bytes of a literal, NUL characters included.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

TEST(ChooseFileTest, TurnsTheEntryIntoAFilterByItsLastCharacter) {
  EXPECT_EQ(ChooserFilterOf("Settings (*.cfg)|*.cfg|"), Bytes("Settings (*.cfg)\0*.cfg\0"));
  EXPECT_EQ(ChooserFilterOf("Text#*.txt;*.log#All#*.*#"), Bytes("Text\0*.txt;*.log\0All\0*.*\0"));
  // The separator only at the end: a description without a pattern.
  EXPECT_EQ(ChooserFilterOf("Settings|"), Bytes("Settings\0"));
  EXPECT_EQ(ChooserFilterOf(""), "");
}

TEST(ChooseFileTest, AnswersWithTheChosenFileAsAWindowsPath) {
  DriveLinks drives;
  const std::filesystem::path cfg = drives.Write('e', "course/lumo.cfg", "[general]\n");
  PromptScript prompts(cfg.string() + "\n\n");
  EXPECT_EQ(ChooseFile(kIdsSettingsFilter), "e:\\course\\lumo.cfg");
  EXPECT_EQ(ChooseFile(kIdsProgressFilter), std::nullopt);  // cancelled
  EXPECT_EQ(prompts.Log(), "OPEN\tSettings (*.cfg)\\0*.cfg\\0\t" + cfg.string() +
                               "\n"
                               "OPEN\tProgress Files (*.txt)\\0*.txt\\0\t\n");

  // No chooser for a missing or empty entry.
  prompts.Answer(cfg.string() + "\n");
  const StringTable module{{1, ""}, {2, "Settings|"}};
  EXPECT_EQ(ChooseFile(module, 1), std::nullopt);
  EXPECT_EQ(ChooseFile(module, 3), std::nullopt);
  EXPECT_EQ(prompts.Log(), "");
  EXPECT_EQ(ChooseFile(module, 2), "e:\\course\\lumo.cfg");
  EXPECT_EQ(prompts.Log(), "OPEN\tSettings\\0\t" + cfg.string() + "\n");
}

}  // namespace
}  // namespace norwin::host
