#include "norwin/host/print_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "host/support/pdf_reader.h"
#include "norwin/host/print_device_chooser.h"
#include "norwin/platform/prompts.h"
#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

using norwin::testing::PdfInfo;
using norwin::testing::PdfPages;
using norwin::testing::ScopedEnv;
using norwin::testing::TempDir;

// Page script's print call with the print dialog answered from a file, as in
// every test of the programs, printing to a PDF file.
class PrintTextThroughDialogTest : public ::testing::Test {
 protected:
  PrintTextThroughDialogTest() : pdf_(dir_.path() / "printed.pdf") {}
  ~PrintTextThroughDialogTest() override { platform::SetPromptsForTesting(nullptr); }

  void Answer(const std::string& answers) {
    std::ofstream(dir_.path() / "answers") << answers;
    platform::SetPromptsForTesting(platform::MakeScriptedPrompts(
        {(dir_.path() / "answers").string(), (dir_.path() / "prompts.log").string()}));
  }
  std::string Log() const {
    std::ifstream in(dir_.path() / "prompts.log");
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }

  TempDir dir_;
  std::filesystem::path pdf_;
};

TEST_F(PrintTextThroughDialogTest, CopiesChosenInTheDialogArePrinted) {
  ScopedEnv to_pdf(kPrintToPdfVariable, pdf_.string());
  Answer("OK 3\n");
  ASSERT_TRUE(PrintText("Dear student,\r\nyour results follow.").ok());
  EXPECT_EQ(Log(), "PRINT\tOK\t3\n");
  EXPECT_EQ(PdfInfo(pdf_, "Pages"), "3");
  EXPECT_EQ(PdfInfo(pdf_, "Title"), "Browser Print");
  const std::vector<std::string> page = {"Dear student,", "your results follow."};
  EXPECT_EQ(PdfPages(pdf_), (std::vector<std::vector<std::string>>{page, page, page}));
}

TEST_F(PrintTextThroughDialogTest, CancelAndAbsentTextPrintNothing) {
  ScopedEnv to_pdf(kPrintToPdfVariable, pdf_.string());
  Answer("Cancel\n");
  EXPECT_TRUE(PrintText(std::nullopt).ok());
  EXPECT_EQ(Log(), "") << "no dialog for an absent text";
  EXPECT_TRUE(PrintText("text").ok());
  EXPECT_EQ(Log(), "PRINT\tCancel\t\n");
  EXPECT_FALSE(std::filesystem::exists(pdf_));

  // Without a display the dialog cancels by itself.
  platform::SetPromptsForTesting(platform::MakeNonInteractivePrompts());
  EXPECT_TRUE(PrintText("text").ok());
  EXPECT_FALSE(std::filesystem::exists(pdf_));
}

TEST_F(PrintTextThroughDialogTest, WithoutAPrinterTheJobFailsSayingWhy) {
  ScopedEnv no_pdf(kPrintToPdfVariable, "");
  Answer("OK\n");
  const Status status = PrintText("text");
  EXPECT_NE(status.message().find(kPrintToPdfVariable), std::string::npos) << status.message();
  EXPECT_EQ(Log(), "PRINT\tOK\t1\n");
}

}  // namespace
}  // namespace norwin::host
