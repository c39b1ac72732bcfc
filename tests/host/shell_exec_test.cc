// Opening a course file for page script: which drive it settles on, and the
// prompts while the file cannot be opened. Only files that are not there are
// used, so no application is ever started on the test machine.
#include "norwin/host/shell_exec.h"

#include <gtest/gtest.h>

#include <string>

#include "norwin/platform/drives.h"
#include "support/drive_links.h"
#include "support/prompt_script.h"

namespace norwin::host {
namespace {

using norwin::testing::DriveLinks;
using norwin::testing::PromptScript;

constexpr char kCdromText[] =
    "Cannot find the CD-ROM;\\n\\nmake sure your CD-ROM drive is turned on and the correct disc "
    "is present.";
constexpr char kUnableToOpen[] = "Lumo\tUnable to open G:\\\\notes\\\\gone.doc.\t0x35\t";

TEST(ShellExecTest, SettlesOnTheCourseDriveAndAsksWhileTheFileCannotBeOpened) {
  DriveLinks drives;
  drives.Link('e');
  drives.Link('g');
  Settings settings;
  settings.drive = 'e';

  // A path without a letter is looked for on every drive; while none holds
  // it the user is asked for the disc, and Cancel ends the call with the
  // course drive as it was.
  PromptScript prompts("Retry\nCancel\n");
  EXPECT_EQ(ShellExecCourseFile("\\notes\\gone.doc", settings), std::nullopt);
  EXPECT_EQ(settings.drive, 'e');
  EXPECT_EQ(prompts.Log(PromptScript::Beeps::kDrop), std::string("Lumo\t") + kCdromText +
                                                         "\t0x35\tRetry\nLumo\t" + kCdromText +
                                                         "\t0x35\tCancel\n");

  // With its own letter, the drive is taken as given, made current with its
  // root as the current folder, and the file is asked for: after Cancel the
  // message comes once more and nothing is started.
  prompts.Answer("Retry\nCancel\nCancel\n");
  EXPECT_EQ(ShellExecCourseFile("G:\\notes\\gone.doc", settings), 'g');
  EXPECT_EQ(settings.drive, 'g');
  EXPECT_EQ(platform::CurrentDrive(), 'g');
  EXPECT_EQ(platform::CurrentDirectory(), "g:\\");
  const std::string log = prompts.Log(PromptScript::Beeps::kDrop);
  EXPECT_EQ(log, std::string(kUnableToOpen) + "Retry\n" + kUnableToOpen + "Cancel\n" +
                     kUnableToOpen + "Cancel\n");

  // Texts too long for the program's path buffers (259 characters with
  // the end mark) end the call at once; one character less is looked at.
  prompts.Answer("Cancel\nCancel\n");
  EXPECT_EQ(ShellExecCourseFile("g:\\" + std::string(255, 'n'), settings), std::nullopt);
  EXPECT_EQ(prompts.Log(), "");
  EXPECT_EQ(ShellExecCourseFile("g:\\" + std::string(254, 'n'), settings), 'g');
  EXPECT_NE(prompts.Log(PromptScript::Beeps::kDrop).find("\tCancel\n"), std::string::npos);
}

}  // namespace
}  // namespace norwin::host
