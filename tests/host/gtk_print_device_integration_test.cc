#include "norwin/host/gtk_print_device.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include <string>

#include "host/support/pdf_reader.h"
#include "norwin/host/print_text.h"
#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

using norwin::testing::PdfInfo;
using norwin::testing::PdfPages;
using norwin::testing::RunForOutput;
using norwin::testing::TempDir;

// GTK's own "Print to File" printer stands in for a print queue: the job goes
// through GTK's print system exactly as to a real printer.
class GtkPrintDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "needs a display (scripts/test has one)";
  }

  // A choice as the GTK print dialog reports it.
  platform::PrintChoice FileChoice(const std::filesystem::path& pdf, int copies,
                                   GtkPageSetup* setup) {
    platform::PrintChoice choice;
    choice.copies = copies;
    choice.printer = "Print to File";
    gchar* uri = g_filename_to_uri(pdf.c_str(), nullptr, nullptr);
    choice.settings = {{"output-uri", uri},
                       {"output-file-format", "pdf"},
                       {"resolution", "300"},
                       {"n-copies", std::to_string(copies)}};
    g_free(uri);
    GKeyFile* file = g_key_file_new();
    gtk_page_setup_to_key_file(setup, file, "Page Setup");
    gchar** keys = g_key_file_get_keys(file, "Page Setup", nullptr, nullptr);
    for (gchar** key = keys; *key; ++key) {
      gchar* value = g_key_file_get_value(file, "Page Setup", *key, nullptr);
      choice.page_setup.emplace_back(*key, value);
      g_free(value);
    }
    g_strfreev(keys);
    g_key_file_free(file);
    return choice;
  }

  TempDir dir_;
};

TEST_F(GtkPrintDeviceTest, PrintsCopiesOnThePrintableAreaOfThePageSetup) {
  GtkPageSetup* setup = gtk_page_setup_new();
  GtkPaperSize* a4 = gtk_paper_size_new(GTK_PAPER_NAME_A4);
  gtk_page_setup_set_paper_size(setup, a4);
  gtk_paper_size_free(a4);
  for (auto set : {gtk_page_setup_set_top_margin, gtk_page_setup_set_bottom_margin,
                   gtk_page_setup_set_left_margin, gtk_page_setup_set_right_margin})
    set(setup, 10, GTK_UNIT_MM);
  const std::filesystem::path pdf = dir_.path() / "job.pdf";
  const platform::PrintChoice choice = FileChoice(pdf, 2, setup);
  g_object_unref(setup);

  Result<std::unique_ptr<PrintDevice>> device = OpenGtkPrintDevice(choice);
  ASSERT_TRUE(device.ok()) << device.message();
  EXPECT_EQ((*device)->PixelsPerInchX(), 300);
  EXPECT_EQ((*device)->PrintableWidthMm(), 190);
  EXPECT_EQ((*device)->PrintableWidth(), 2244);  // 190 mm at 300 dots per inch
  EXPECT_EQ((*device)->Copies(), 2);
  ASSERT_TRUE(PrintTextOn(**device, "Name: Ada\r\nScore: 93").ok());

  // Two copies drawn by us, not four: the printer was asked for one.
  EXPECT_EQ(PdfInfo(pdf, "Pages"), "2");
  EXPECT_EQ(PdfInfo(pdf, "Title"), "Browser Print");
  const std::vector<std::string> page = {"Name: Ada", "Score: 93"};
  EXPECT_EQ(PdfPages(pdf), (std::vector<std::vector<std::string>>{page, page}));
  // The first line sits 100 units (24 points at 300 dots per inch) right of
  // the 10 mm margin and 5/2 of a 54-unit line below it.
  const std::string html = RunForOutput({"pdftotext", "-bbox", pdf.string(), "-"});
  const size_t word = html.find("<word xMin=\"");
  ASSERT_NE(word, std::string::npos);
  const double x = std::stod(html.substr(word + 12));
  const double y = std::stod(html.substr(html.find("yMin=\"", word) + 6));
  EXPECT_NEAR(x, 10 / 25.4 * 72 + 24, 0.5);
  EXPECT_NEAR(y, 10 / 25.4 * 72 + 135 * 72 / 300.0, 0.5);
}

TEST_F(GtkPrintDeviceTest, UnknownPrinterOrPageSetupIsAnError) {
  GtkPageSetup* setup = gtk_page_setup_new();
  platform::PrintChoice choice = FileChoice(dir_.path() / "x.pdf", 1, setup);
  g_object_unref(setup);
  choice.printer = "Printer That Was Removed";
  Result<std::unique_ptr<PrintDevice>> device = OpenGtkPrintDevice(choice);
  ASSERT_FALSE(device.ok());
  EXPECT_EQ(device.message(), "no printer named \"Printer That Was Removed\"");

  choice.printer = "Print to File";
  choice.page_setup = {{"Orientation", "portrait"}};  // no paper
  device = OpenGtkPrintDevice(choice);
  ASSERT_FALSE(device.ok());
  EXPECT_NE(device.message().find("page setup"), std::string::npos) << device.message();
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "x.pdf"));
}

}  // namespace
}  // namespace norwin::host
