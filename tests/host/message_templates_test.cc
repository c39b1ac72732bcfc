#include "norwin/host/message_templates.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "norwin/platform/prompts.h"
#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

namespace p = norwin::platform;
using norwin::testing::TempDir;
using norwin::testing::TempPrefix;

std::string Format(std::string_view format, std::initializer_list<FormatArg> args,
                   size_t max_bytes = kMaxFormattedBytes) {
  return FormatTemplate(format, std::span<const FormatArg>(args.begin(), args.size()), max_bytes);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(TemplateFormatTest, FillsPlaceholdersAsWsprintf) {
  EXPECT_EQ(Format("Unable to open %s.", {"d:\\x.cfg"}), "Unable to open d:\\x.cfg.");
  EXPECT_EQ(Format("%d|%i|%u", {-42, 7, 4000000000u}), "-42|7|4000000000");
  EXPECT_EQ(Format("%x %X %#x %#X %#x", {255, 255, 255, 171, 0}), "ff FF 0xff 0XAB 0");
  EXPECT_EQ(Format("%x %u", {-1, -2}), "ffffffff 4294967294");
  EXPECT_EQ(Format("%c:%s", {'e', "\\course"}), "e:\\course");
  EXPECT_EQ(Format("100%% of %s", {"it"}), "100% of it");
  EXPECT_EQ(Format("[%5d][%-5d][%05d][%-05d]", {42, 42, -42, 42}), "[   42][42   ][-0042][42   ]");
  EXPECT_EQ(Format("[%.3d][%6.3d][%.0d]", {7, -7, 0}), "[007][  -007][]");
  EXPECT_EQ(Format("[%8s][%-8s][%.2s][%5.1s]", {"abc", "abc", "abc", "abc"}),
            "[     abc][abc     ][ab][    a]");
  EXPECT_EQ(Format("%ld %hd %lu %I64d %lx", {1, 2, 3u, int64_t{-5000000000}, 10}),
            "1 2 3 -5000000000 a");
  // Widths count characters, so texts with accents line up.
  EXPECT_EQ(Format("[%6s][%.3s]", {"caf\xC3\xA9", "\xC3\xA9t\xC3\xA9s"}),
            "[  caf\xC3\xA9][\xC3\xA9t\xC3\xA9]");
  EXPECT_EQ(Format("%c%c", {0x41, 0xE9}), "A\xC3\xA9");
}

TEST(TemplateFormatTest, NeverReadsBeyondItsArguments) {
  // Missing arguments are empty or 0; surplus ones are ignored.
  EXPECT_EQ(Format("Unable to open %s.", {}), "Unable to open .");
  EXPECT_EQ(Format("%d-%x-%c-%s", {}), "0-0--");
  EXPECT_EQ(Format("no placeholders", {"a", 1}), "no placeholders");
  // A type and its argument that disagree show the argument as it is.
  EXPECT_EQ(Format("%d and %s and %s", {"text", 12, -3}), "text and 12 and -3");
  EXPECT_EQ(Format("%s", {static_cast<const char*>(nullptr)}), "(null)");
  // Unknown types stand for themselves; a lone "%" at the end stays.
  EXPECT_EQ(Format("%y %q 50%", {}), "y q 50%");
  EXPECT_EQ(Format("%-", {}), "");
}

TEST(TemplateFormatTest, CutsTheResultWithoutSplittingCharacters) {
  const std::string long_name(2000, 'n');
  std::string result = Format("Unable to open %s.", {long_name});
  EXPECT_EQ(result.size(), kMaxFormattedBytes);
  EXPECT_EQ(result, ("Unable to open " + long_name).substr(0, kMaxFormattedBytes));
  // A huge width costs no more than the limit.
  EXPECT_EQ(Format("%999999999d", {1}).size(), kMaxFormattedBytes);
  EXPECT_EQ(Format("%.999999999d", {1}).size(), kMaxFormattedBytes);
  // "é" is two bytes: a cut through it drops it whole.
  EXPECT_EQ(Format("ab%s", {"\xC3\xA9"}, 3), "ab");
  EXPECT_EQ(Format("ab%s", {"\xC3\xA9"}, 4), "ab\xC3\xA9");
}

TEST(MessageFlagsTest, ReadsFlagNamesByTheirBeginning) {
  EXPECT_EQ(ParseMessageFlags("|MB_ICONEXCLAMATION|MB_RETRYCANCEL"), 0x35u);
  EXPECT_EQ(ParseMessageFlags("|MB_RETRYCANCEL|MB_ICONEXCLAMATION"), 0x35u);
  // Leading white space is skipped; letter case counts.
  EXPECT_EQ(ParseMessageFlags("|  \tMB_YESNO"), 0x4u);
  EXPECT_EQ(ParseMessageFlags("|mb_yesno"), 0x0u);
  // Names that begin like shorter names are themselves.
  EXPECT_EQ(ParseMessageFlags("|MB_OKCANCEL"), 0x1u);
  EXPECT_EQ(ParseMessageFlags("|MB_YESNOCANCEL"), 0x3u);
  // A field that merely begins with a name counts as that name.
  EXPECT_EQ(ParseMessageFlags("|MB_ICONSTOPPED"), 0x10u);
  EXPECT_EQ(ParseMessageFlags("|MB_ICONQUESTION |MB_DEFBUTTON2|MB_SYSTEMMODAL|MB_NOFOCUS"),
            0x20u | 0x100u | 0x1000u | 0x8000u);
  EXPECT_EQ(ParseMessageFlags("|MB_TASKMODAL|MB_DEFBUTTON3|MB_ICONINFORMATION"),
            0x2000u | 0x200u | 0x40u);
  // Unknown names, empty fields and stray text add nothing.
  EXPECT_EQ(ParseMessageFlags("|MB_BLINK||  |MB_ABORTRETRYIGNORE"), 0x2u);
  EXPECT_EQ(ParseMessageFlags(""), 0x0u);
}

TEST(MessageFlagsTest, ComposesTemplatesOfAnyModule) {
  const StringTable module{
      {1, "Plain text"},
      {2, "Pick %s|MB_YESNO|MB_ICONQUESTION"},
      {3, ""},
      {4, std::string(300, 'x') + "|MB_OKCANCEL"},
  };
  const FormatArg pipe[] = {FormatArg("a|MB_ICONSTOP")};
  TemplateMessage message = ComposeTemplateMessage(module, 2, pipe);
  // Formatting comes before splitting: a "|" in an argument separates.
  EXPECT_EQ(message.text, "Pick a");
  EXPECT_EQ(message.flags, 0x10u | 0x4u | 0x20u);

  message = ComposeTemplateMessage(module, 1, {});
  EXPECT_EQ(message.text, "Plain text");
  EXPECT_EQ(message.flags, 0u);

  // Missing and empty entries show the not-found text; arguments unused.
  const FormatArg name[] = {FormatArg("zzz")};
  message = ComposeTemplateMessage(module, 3, name);
  EXPECT_EQ(message.text, "Message template 3 not found.");
  EXPECT_EQ(message.flags, 0x30u);
  message = ComposeTemplateMessage(module, 4000000000u, name);
  EXPECT_EQ(message.text, "Message template 4000000000 not found.");

  // A template is taken to 254 bytes: the flags behind them are lost.
  message = ComposeTemplateMessage(module, 4, {});
  EXPECT_EQ(message.text, std::string(254, 'x'));
  EXPECT_EQ(message.flags, 0u);

  const FormatArg file[] = {FormatArg("e:\\course\\x.cfg")};
  message = ComposeTemplateMessage(ProgramStrings(), kIdsUnableToOpen, file);
  EXPECT_EQ(message.text, "Unable to open e:\\course\\x.cfg.");
  EXPECT_EQ(message.flags, 0x35u);
  message = ComposeTemplateMessage(ProgramStrings(), kIdsCdromNotFound, {});
  EXPECT_EQ(message.text,
            "Cannot find the CD-ROM;\n\nmake sure your CD-ROM drive is turned on and the correct "
            "disc is present.");
  EXPECT_EQ(message.flags, 0x35u);
}

// Message boxes and beeps through scripted prompts whose log the test reads.
class MessageServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { UseAnswers(""); }
  void TearDown() override { p::SetPromptsForTesting(nullptr); }
  void UseAnswers(std::string_view answers) {
    std::ofstream(answers_, std::ios::binary | std::ios::trunc) << answers;
    p::SetPromptsForTesting(
        p::MakeScriptedPrompts(p::ScriptedPromptFiles{answers_.string(), log_.string()}));
  }
  std::string Log() const { return ReadFile(log_); }
  void WriteProfile(std::string_view text) {
    std::ofstream(prefix_.path() / "profile.ini", std::ios::binary | std::ios::trunc) << text;
  }

  TempPrefix prefix_;
  TempDir dir_;
  std::filesystem::path answers_ = dir_.path() / "answers.txt";
  std::filesystem::path log_ = dir_.path() / "prompts.log";
};

TEST_F(MessageServiceTest, BeepsThenShowsTheTemplateAndReturnsTheAnswer) {
  UseAnswers("Retry\nCancel\n");
  MessageService service;  // no profile: beeps are on
  ASSERT_EQ(service.beeps(), MessageService::Beeps::kOn);
  const FormatArg file[] = {FormatArg("q:\\x.htm")};
  EXPECT_EQ(service.Show(ProgramStrings(), kIdsUnableToOpen, file), p::kIdRetry);
  EXPECT_EQ(service.Show(ProgramStrings(), kIdsCdromNotFound, {}), p::kIdCancel);
  const StringTable module{{7, "Done."}, {8, "Note|MB_ICONASTERISK"}, {9, "Odd|MB_DEFBUTTON2"}};
  EXPECT_EQ(service.Show(module, 7, {}), p::kIdOk);
  EXPECT_EQ(service.Show(module, 8, {}), p::kIdOk);
  EXPECT_EQ(service.Show(module, 9, {}), p::kIdOk);
  EXPECT_EQ(service.Show(module, 10, {}), p::kIdOk);
  EXPECT_EQ(Log(),
            "BEEP\t0x30\n"
            "Lumo\tUnable to open q:\\\\x.htm.\t0x35\tRetry\n"
            "BEEP\t0x30\n"
            "Lumo\tCannot find the CD-ROM;\\n\\nmake sure your CD-ROM drive is turned on and the "
            "correct disc is present.\t0x35\tCancel\n"
            // No flags: the default beep.
            "BEEP\t0x0\n"
            "Lumo\tDone.\t0x0\tOK\n"
            "BEEP\t0x40\n"
            "Lumo\tNote\t0x40\tOK\n"
            // Flags without an icon: no beep.
            "Lumo\tOdd\t0x100\tOK\n"
            "BEEP\t0x30\n"
            "Lumo\tMessage template 10 not found.\t0x30\tOK\n");
}

TEST_F(MessageServiceTest, ReadsTheBeepSettingOnceFromTheUserProfile) {
  WriteProfile("[windows]\nBeep=no\n");
  MessageService quiet;
  EXPECT_EQ(quiet.beeps(), MessageService::Beeps::kOff);
  // The setting is not read again: switching beeps back on changes nothing
  // for this service.
  WriteProfile("[windows]\nBeep=yes\n");
  quiet.BeepFor(0x30);
  EXPECT_EQ(quiet.Show(ProgramStrings(), kIdsProjName, {}), p::kIdOk);
  EXPECT_EQ(Log(), "Lumo\tLumo\t0x0\tOK\n");

  MessageService loud;  // "yes" in any case is YES
  EXPECT_EQ(loud.beeps(), MessageService::Beeps::kOn);
  WriteProfile("[Windows]\nbeep = \"Yes\"\n");
  EXPECT_EQ(MessageService().beeps(), MessageService::Beeps::kOn);
  WriteProfile("[windows]\nBeep=YESS\n");
  EXPECT_EQ(MessageService().beeps(), MessageService::Beeps::kOff);
  WriteProfile("[windows]\nBeep=\n");
  EXPECT_EQ(MessageService().beeps(), MessageService::Beeps::kOff);
}

TEST_F(MessageServiceTest, ProcessWideFunctionsShowTheProgramsTemplates) {
  UseAnswers("Retry\n");
  const std::string path = "d:\\course\\100%.htm";
  EXPECT_EQ(ShowTemplateMessage(kIdsUnableToOpen, path), p::kIdRetry);
  const StringTable module{{5, "%d items of %s|MB_OKCANCEL"}};
  EXPECT_EQ(ShowTemplateMessageFrom(module, 5, 3, std::string("x")), p::kIdCancel);
  const std::string log = Log();
  EXPECT_NE(log.find("Lumo\tUnable to open d:\\\\course\\\\100%.htm.\t0x35\tRetry\n"),
            std::string::npos);
  EXPECT_NE(log.find("Lumo\t3 items of x\t0x1\tCancel\n"), std::string::npos);
}

}  // namespace
}  // namespace norwin::host
