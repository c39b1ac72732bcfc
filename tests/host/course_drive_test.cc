#include "norwin/host/course_drive.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "norwin/platform/drives.h"
#include "norwin/platform/prompts.h"
#include "support/drive_links.h"
#include "support/prompt_script.h"

namespace norwin::host {
namespace {

namespace p = norwin::platform;
using norwin::testing::DriveLinks;
using norwin::testing::PromptScript;

constexpr char kCdromText[] =
    "Cannot find the CD-ROM;\\n\\nmake sure your CD-ROM drive is turned on and the correct disc "
    "is present.";

// A user at the message box: does something (inserts a disc), then answers.
class UserAtPrompt final : public p::Prompts {
 public:
  UserAtPrompt(std::function<void()> act, int answer) : act_(std::move(act)), answer_(answer) {}
  p::PromptsKind kind() const override { return p::PromptsKind::kScripted; }
  int MessageBox(std::string_view text, std::string_view, uint32_t) override {
    texts.emplace_back(text);
    if (act_) act_();
    act_ = nullptr;
    return texts.size() == 1 ? answer_ : p::kIdCancel;
  }
  void Beep(uint32_t) override {}
  std::optional<std::string> ChooseOpenFile(const p::FileChooserRequest&) override { return {}; }
  std::optional<std::string> ChooseSaveFile(const p::FileChooserRequest&) override { return {}; }
  std::optional<p::PrintChoice> ChoosePrinter(const p::PrintDialogRequest&) override { return {}; }
  std::vector<std::string> texts;

 private:
  std::function<void()> act_;
  int answer_;
};

TEST(CourseDriveTest, FindsTheCourseOnTheFirstDriveThatHoldsIt) {
  DriveLinks drives;
  PromptScript prompts;
  drives.LinkNowhere('d');  // a disc drive without a disc comes before the course
  drives.Write('e', "course/lumo.cfg", "[general]\n");
  drives.Write('g', "course/lumo.cfg", "[general]\n");
  EXPECT_EQ(SearchCourseDrive("\\course\\lumo.cfg"), 'e');
  EXPECT_EQ(SearchCourseDrive("\\COURSE\\Lumo.CFG"), 'e');
  drives.Write('c', "course/lumo.cfg", "[general]\n");
  EXPECT_EQ(SearchCourseDrive("/course/lumo.cfg"), 'c');
  EXPECT_EQ(prompts.Log(), "");
}

TEST(CourseDriveTest, AsksToRetryWhileNoDriveHoldsTheCourse) {
  DriveLinks drives;
  PromptScript prompts("Retry\nCancel\n");
  drives.Link('e');
  EXPECT_EQ(SearchCourseDrive("\\course\\lumo.cfg"), std::nullopt);
  EXPECT_EQ(prompts.Log(), std::string("BEEP\t0x30\nLumo\t") + kCdromText +
                               "\t0x35\tRetry\nBEEP\t0x30\nLumo\t" + kCdromText +
                               "\t0x35\tCancel\n");

  // The user inserts the disc into drive h: and presses Retry.
  auto user = std::make_unique<UserAtPrompt>(
      [&] { drives.Write('h', "course/lumo.cfg", "[general]\n"); }, p::kIdRetry);
  UserAtPrompt& seen = *user;
  p::SetPromptsForTesting(std::move(user));
  EXPECT_EQ(SearchCourseDrive("\\course\\lumo.cfg"), 'h');
  ASSERT_EQ(seen.texts.size(), 1u);
  EXPECT_TRUE(seen.texts[0].starts_with("Cannot find the CD-ROM;\n\n"));
}

TEST(CourseDriveTest, ChecksFilesWithRetryAndCancel) {
  DriveLinks drives;
  PromptScript prompts("Retry\nCancel\n");
  drives.Write('e', "course/start.htm", "<html>");
  EXPECT_TRUE(CheckFile("\\course\\start.htm", 'e'));
  EXPECT_TRUE(CheckFile("e:\\course\\start.htm", 'd'));  // its own drive letter counts
  EXPECT_EQ(prompts.Log(), "");
  // The prompt names the path as given, before the drive is put in front.
  EXPECT_FALSE(CheckFile("\\course\\gone.htm", 'e'));
  EXPECT_EQ(prompts.Log(),
            "BEEP\t0x30\nLumo\tUnable to open \\\\course\\\\gone.htm.\t0x35\tRetry\n"
            "BEEP\t0x30\nLumo\tUnable to open \\\\course\\\\gone.htm.\t0x35\tCancel\n");

  auto user = std::make_unique<UserAtPrompt>(
      [&] { drives.Write('e', "course/late.htm", "<html>"); }, p::kIdRetry);
  UserAtPrompt& seen = *user;
  p::SetPromptsForTesting(std::move(user));
  EXPECT_TRUE(CheckFile("\\course\\late.htm", 'e'));
  EXPECT_EQ(seen.texts, std::vector<std::string>{"Unable to open \\course\\late.htm."});
  // Any answer but Retry gives up.
  auto ignoring = std::make_unique<UserAtPrompt>(nullptr, p::kIdOk);
  p::SetPromptsForTesting(std::move(ignoring));
  EXPECT_FALSE(CheckFile("\\course\\never.htm", 'e'));
}

TEST(CourseDriveTest, PrefixesPathsWithoutDriveLetter) {
  EXPECT_EQ(PrefixDrive("\\course\\start.htm", 'e'), "e:\\course\\start.htm");
  EXPECT_EQ(PrefixDrive("course\\start.htm", 'e'), "e:course\\start.htm");
  EXPECT_EQ(PrefixDrive("d:\\start.htm", 'e'), "d:\\start.htm");
  EXPECT_EQ(PrefixDrive("x", 'e'), "e:x");
  EXPECT_EQ(PrefixDrive("", 'e'), "");
}

}  // namespace
}  // namespace norwin::host
