#include "norwin/platform/prompts.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

using norwin::testing::ScopedEnv;
using norwin::testing::TempDir;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void AppendFile(const std::filesystem::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

// A scripted prompt service over files in a temporary folder.
class ScriptedPromptsTest : public ::testing::Test {
 protected:
  std::unique_ptr<Prompts> Make(std::string_view answers) {
    WriteFile(answers_, answers);
    return MakeScriptedPrompts(ScriptedPromptFiles{answers_.string(), log_.string()});
  }
  std::string Log() const { return ReadFile(log_); }

  TempDir dir_;
  std::filesystem::path answers_ = dir_.path() / "answers.txt";
  std::filesystem::path log_ = dir_.path() / "prompts.log";
};

TEST_F(ScriptedPromptsTest, AnswersButtonsByNameAndNumberThenAsIfNobodyWereThere) {
  auto prompts = Make("retry\nCANCEL\n6\n  No \r\nignore\n");
  EXPECT_EQ(prompts->MessageBox("a", "c", kMbRetryCancel), kIdRetry);
  EXPECT_EQ(prompts->MessageBox("b", "c", kMbOkCancel), kIdCancel);
  EXPECT_EQ(prompts->MessageBox("c", "c", kMbYesNo), kIdYes);
  EXPECT_EQ(prompts->MessageBox("d", "c", kMbYesNoCancel), kIdNo);
  EXPECT_EQ(prompts->MessageBox("e", "c", kMbAbortRetryIgnore), kIdIgnore);
  // The answers have run out: each box ends as if closed.
  EXPECT_EQ(prompts->MessageBox("f", "c", kMbYesNoCancel), kIdCancel);
  EXPECT_EQ(prompts->MessageBox("g", "c", kMbYesNo), kIdNo);
  EXPECT_EQ(prompts->MessageBox("h", "c", kMbOk | kMbIconAsterisk), kIdOk);
  EXPECT_EQ(prompts->MessageBox("i", "c", kMbAbortRetryIgnore), kIdAbort);
  EXPECT_EQ(Log(),
            "c\ta\t0x5\tRetry\n"
            "c\tb\t0x1\tCancel\n"
            "c\tc\t0x4\tYes\n"
            "c\td\t0x3\tNo\n"
            "c\te\t0x2\tIgnore\n"
            "c\tf\t0x3\tCancel\n"
            "c\tg\t0x4\tNo\n"
            "c\th\t0x40\tOK\n"
            "c\ti\t0x2\tAbort\n");
}

TEST_F(ScriptedPromptsTest, LogsTextsEscapedOnOneLine) {
  auto prompts = Make("");
  prompts->MessageBox("Cannot find the CD-ROM;\n\nmake sure\r\n\tC:\\course\\x.cfg", "Lu\tmo",
                      kMbIconExclamation | kMbRetryCancel | kMbDefButton2 | kMbTaskModal);
  EXPECT_EQ(Log(),
            "Lu\\tmo\tCannot find the CD-ROM;\\n\\nmake sure\\r\\n\\tC:\\\\course\\\\x.cfg\t"
            "0x2135\tCancel\n");
}

TEST_F(ScriptedPromptsTest, AnswersThatDoNotFitAreUsedUpAndLogged) {
  auto prompts = Make("Retry\n12\nperhaps\nYes\n");
  EXPECT_EQ(prompts->MessageBox("one", "c", kMbOk), kIdOk);
  EXPECT_EQ(prompts->MessageBox("two", "c", kMbYesNo), kIdNo);
  EXPECT_EQ(prompts->MessageBox("three", "c", kMbOkCancel), kIdCancel);
  EXPECT_EQ(prompts->MessageBox("four", "c", kMbYesNo), kIdYes);
  EXPECT_EQ(Log(),
            "c\tone\t0x0\tOK\tunfit answer: Retry\n"
            "c\ttwo\t0x4\tNo\tunfit answer: 12\n"
            "c\tthree\t0x1\tCancel\tunfit answer: perhaps\n"
            "c\tfour\t0x4\tYes\n");
}

TEST_F(ScriptedPromptsTest, ChoosersTakePathsAndAnEmptyLineCancels) {
  const std::filesystem::path settings = dir_.path() / "course.cfg";
  WriteFile(settings, "[general]\n");
  const std::string folder = dir_.path().string();
  auto prompts = Make(settings.string() + "\n\n" + folder + "/progress\n" + folder +
                      "/missing.cfg\n" + folder + "/no/such/folder/x.txt\n");

  FileChooserRequest open;
  open.filter = "Settings (*.cfg)|*.cfg|";
  open.flags = kOfnHideReadOnly | kOfnPathMustExist | kOfnFileMustExist | kOfnShareAware;
  EXPECT_EQ(prompts->ChooseOpenFile(open), settings.string());
  EXPECT_EQ(prompts->ChooseOpenFile(open), std::nullopt);

  const std::string_view progress_filter("Progress Files (*.txt)\0*.txt\0", 29);
  FileChooserRequest save;
  save.filter = progress_filter;
  save.initial_name = "tck.txt";
  save.default_extension = "txt";
  save.flags = kOfnOverwritePrompt | kOfnHideReadOnly | kOfnPathMustExist;
  EXPECT_EQ(prompts->ChooseSaveFile(save), folder + "/progress.txt");
  // A chooser that only lets existing files be opened never hands back a
  // missing one, nor a save path in a folder that does not exist.
  EXPECT_EQ(prompts->ChooseOpenFile(open), std::nullopt);
  EXPECT_EQ(prompts->ChooseSaveFile(save), std::nullopt);
  // Run out.
  EXPECT_EQ(prompts->ChooseSaveFile(save), std::nullopt);

  EXPECT_EQ(Log(), "OPEN\tSettings (*.cfg)|*.cfg|\t" + settings.string() +
                       "\n"
                       "OPEN\tSettings (*.cfg)|*.cfg|\t\n"
                       "SAVE\tProgress Files (*.txt)\\0*.txt\\0\t" +
                       folder +
                       "/progress.txt\n"
                       "OPEN\tSettings (*.cfg)|*.cfg|\t\tunfit answer: " +
                       folder +
                       "/missing.cfg\n"
                       "SAVE\tProgress Files (*.txt)\\0*.txt\\0\t\tunfit answer: " +
                       folder +
                       "/no/such/folder/x.txt\n"
                       "SAVE\tProgress Files (*.txt)\\0*.txt\\0\t\n");
}

TEST_F(ScriptedPromptsTest, PrintDialogAndBeeps) {
  auto prompts = Make("OK 3 Office Laser\ncancel\nok\nprint twice\n");
  std::optional<PrintChoice> three = prompts->ChoosePrinter({});
  ASSERT_TRUE(three.has_value());
  EXPECT_EQ(three->copies, 3);
  EXPECT_EQ(three->printer, "Office Laser");
  const std::vector<std::pair<std::string, std::string>> expected_settings = {
      {"n-copies", "3"}, {"collate", "true"}, {"printer", "Office Laser"}};
  EXPECT_EQ(three->settings, expected_settings);
  EXPECT_EQ(prompts->ChoosePrinter({}), std::nullopt);
  std::optional<PrintChoice> one = prompts->ChoosePrinter({});
  ASSERT_TRUE(one.has_value());
  EXPECT_EQ(one->copies, 1);
  EXPECT_EQ(one->printer, "");
  EXPECT_EQ(prompts->ChoosePrinter({}), std::nullopt);  // unfit
  EXPECT_EQ(prompts->ChoosePrinter({}), std::nullopt);  // run out
  prompts->Beep(kMbIconExclamation);
  prompts->Beep(kBeepSimple);
  EXPECT_EQ(Log(),
            "PRINT\tOK\t3\n"
            "PRINT\tCancel\t\n"
            "PRINT\tOK\t1\n"
            "PRINT\tCancel\t\tunfit answer: print twice\n"
            "PRINT\tCancel\t\n"
            "BEEP\t0x30\n"
            "BEEP\t0xffffffff\n");
}

// The process's prompts follow $NORWIN_PROMPTS: reading resumes where it
// stopped, takes in lines appended later, and starts over on another file.
TEST_F(ScriptedPromptsTest, TheProcessPromptsFollowTheEnvironment) {
  WriteFile(answers_, "Yes\n");
  ScopedEnv answers("NORWIN_PROMPTS", answers_.string());
  ScopedEnv log("NORWIN_PROMPT_LOG", log_.string());
  SetPromptsForTesting(nullptr);
  Prompts& prompts = CurrentPrompts();
  EXPECT_EQ(prompts.kind(), PromptsKind::kScripted);
  EXPECT_EQ(prompts.MessageBox("1", "c", kMbYesNo), kIdYes);
  EXPECT_EQ(prompts.MessageBox("2", "c", kMbYesNo), kIdNo);  // run out
  AppendFile(answers_, "Retry\nOK\n");
  EXPECT_EQ(prompts.MessageBox("3", "c", kMbRetryCancel), kIdRetry);

  const std::filesystem::path other = dir_.path() / "other.txt";
  WriteFile(other, "Yes\nYes\n");
  {
    ScopedEnv other_answers("NORWIN_PROMPTS", other.string());
    EXPECT_EQ(prompts.MessageBox("4", "c", kMbYesNo), kIdYes);
  }
  // Back on the first file, which is now another file at the same path.
  const std::filesystem::path replacement = dir_.path() / "replacement.txt";
  WriteFile(replacement, "Cancel\n");
  std::filesystem::rename(replacement, answers_);
  EXPECT_EQ(prompts.MessageBox("5", "c", kMbOkCancel), kIdCancel);
  EXPECT_EQ(&CurrentPrompts(), &prompts);
  SetPromptsForTesting(nullptr);
  EXPECT_EQ(Log(),
            "c\t1\t0x4\tYes\nc\t2\t0x4\tNo\nc\t3\t0x5\tRetry\nc\t4\t0x4\tYes\nc\t5\t0x1\tCancel\n");
}

// Several processes writing one log leave whole lines, none lost.
TEST_F(ScriptedPromptsTest, ProcessesShareOneLog) {
  constexpr int kProcesses = 4;
  constexpr int kPrompts = 200;
  const std::string long_text(300, 'x');
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto prompts = MakeScriptedPrompts(ScriptedPromptFiles{"", log_.string()});
      for (int i = 0; i < kPrompts; ++i) prompts->Beep(static_cast<uint32_t>(p));
      for (int i = 0; i < kPrompts; ++i) prompts->MessageBox(long_text, "p", kMbOk);
      _exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::istringstream lines(Log());
  std::string line;
  int beeps[kProcesses] = {};
  int boxes = 0;
  while (std::getline(lines, line)) {
    if (line.starts_with("BEEP\t0x")) {
      const int p = line.back() - '0';
      ASSERT_TRUE(p >= 0 && p < kProcesses) << line;
      ++beeps[p];
    } else {
      ASSERT_EQ(line, "p\t" + long_text + "\t0x0\tOK");
      ++boxes;
    }
  }
  for (int count : beeps) EXPECT_EQ(count, kPrompts);
  EXPECT_EQ(boxes, kProcesses * kPrompts);
}

TEST(NonInteractivePromptsTest, AnswersWhatEndsTheWaitAndSaysSo) {
  auto prompts = MakeNonInteractivePrompts();
  EXPECT_EQ(prompts->kind(), PromptsKind::kNonInteractive);
  const struct {
    uint32_t flags;
    int answer;
  } kCases[] = {
      {kMbOk, kIdOk},
      {kMbOkCancel, kIdCancel},
      {kMbAbortRetryIgnore, kIdAbort},
      {kMbYesNoCancel | kMbDefButton1, kIdCancel},
      {kMbYesNo | kMbIconQuestion, kIdNo},
      {kMbRetryCancel | kMbIconExclamation, kIdCancel},
      {kMbCancelTryContinue, kIdCancel},
  };
  ::testing::internal::CaptureStderr();
  for (const auto& c : kCases) {
    EXPECT_EQ(prompts->MessageBox("Unable to open x.", "Lumo", c.flags), c.answer) << c.flags;
  }
  FileChooserRequest open;
  open.filter = "Settings (*.cfg)|*.cfg|";
  EXPECT_EQ(prompts->ChooseOpenFile(open), std::nullopt);
  EXPECT_EQ(prompts->ChooseSaveFile({}), std::nullopt);
  EXPECT_EQ(prompts->ChoosePrinter({}), std::nullopt);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("prompt: [Lumo] Unable to open x. (Retry Cancel) -> Cancel\n"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("(Yes No) -> No\n"), std::string::npos) << said;
  EXPECT_NE(said.find("(Abort Retry Ignore) -> Abort\n"), std::string::npos) << said;
  EXPECT_NE(said.find("prompt: OPEN [Settings (*.cfg)|*.cfg|] -> Cancel\n"), std::string::npos)
      << said;
  EXPECT_NE(said.find("prompt: PRINT -> Cancel\n"), std::string::npos) << said;
}

TEST(PromptsChoiceTest, ScriptedWhenAskedNonInteractiveWithoutDisplayElseGtk) {
  ScopedEnv answers("NORWIN_PROMPTS", "");
  ScopedEnv log("NORWIN_PROMPT_LOG", "");
  ScopedEnv display("DISPLAY", "");
  ScopedEnv wayland("WAYLAND_DISPLAY", "");
  EXPECT_EQ(PromptsKindForEnvironment(), PromptsKind::kNonInteractive);
  {
    ScopedEnv wayland_set("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_EQ(PromptsKindForEnvironment(), PromptsKind::kGtk);
  }
  ScopedEnv display_set("DISPLAY", ":99");
  SetPromptsForTesting(nullptr);
  // Chosen without touching the display: GTK starts with the first dialog.
  EXPECT_EQ(CurrentPrompts().kind(), PromptsKind::kGtk);
  {
    ScopedEnv log_set("NORWIN_PROMPT_LOG", "/dev/null");
    EXPECT_EQ(PromptsKindForEnvironment(), PromptsKind::kScripted);
  }
  {
    ScopedEnv answers_set("NORWIN_PROMPTS", "/dev/null");
    EXPECT_EQ(PromptsKindForEnvironment(), PromptsKind::kScripted);
  }
  SetPromptsForTesting(MakeNonInteractivePrompts());
  EXPECT_EQ(CurrentPrompts().kind(), PromptsKind::kNonInteractive);
  SetPromptsForTesting(nullptr);
}

}  // namespace
}  // namespace norwin::platform
