#include "norwin/host/pdf_print_device.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
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

std::unique_ptr<PrintDevice> OpenOrDie(const PdfPrintOptions& options) {
  Result<std::unique_ptr<PrintDevice>> device = OpenPdfPrintDevice(options);
  EXPECT_TRUE(device.ok()) << device.message();
  return device.ok() ? std::move(*device) : nullptr;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// The top of every line of words pdftotext finds on page 1, in points.
std::vector<double> FirstPageWordTops(const std::filesystem::path& pdf, double* first_x) {
  const std::string html =
      RunForOutput({"pdftotext", "-bbox", "-f", "1", "-l", "1", pdf.string(), "-"});
  std::vector<double> tops;
  auto number_after = [&html](const char* key, size_t from) {
    const size_t at = html.find(key, from);
    return at == std::string::npos ? -1.0 : std::strtod(html.c_str() + at + strlen(key), nullptr);
  };
  for (size_t at = html.find("<word "); at != std::string::npos; at = html.find("<word ", at + 1)) {
    if (tops.empty()) *first_x = number_after("xMin=\"", at);
    const double top = number_after("yMin=\"", at);
    if (tops.empty() || tops.back() != top) tops.push_back(top);
  }
  return tops;
}

TEST(PdfPrintDeviceTest, PrintsPagesLinesAndCopiesAsLaidOut) {
  TempDir dir;
  PdfPrintOptions options;
  options.path = dir.path() / "out.pdf";
  options.copies = 3;
  std::unique_ptr<PrintDevice> device = OpenOrDie(options);
  ASSERT_TRUE(device);
  EXPECT_EQ(device->PixelsPerInchY(), 600);
  EXPECT_EQ(device->PrintableWidth(), 5100);
  EXPECT_EQ(device->PrintableHeight(), 6600);
  EXPECT_EQ(device->PrintableWidthMm(), 216);

  // 120 numbered lines, then a word of 80 letters: 122 printed lines, 53 to
  // a page at 600 dots per inch on Letter paper, so three pages a copy.
  std::string text;
  for (int i = 1; i <= 120; ++i) text += "Line " + std::to_string(i) + "\r\n";
  text += std::string(80, 'w');
  ASSERT_TRUE(PrintTextOn(*device, text).ok());

  EXPECT_EQ(PdfInfo(options.path, "Pages"), "9");
  EXPECT_EQ(PdfInfo(options.path, "Title"), "Browser Print");
  EXPECT_EQ(PdfInfo(options.path, "Page size"), "612 x 792 pts (letter)");
  EXPECT_NE(RunForOutput({"pdffonts", options.path.string()}).find("LiberationSerif"),
            std::string::npos)
      << "Times New Roman resolves to its metric twin";

  const auto pages = PdfPages(options.path);
  ASSERT_EQ(pages.size(), 9u);
  for (int copy = 0; copy < 3; ++copy) {
    const auto& first = pages[copy * 3];
    ASSERT_EQ(first.size(), 53u);
    EXPECT_EQ(first.front(), "Line 1") << "copy " << copy << " starts on a new page";
    EXPECT_EQ(first.back(), "Line 53");
    EXPECT_EQ(pages[copy * 3 + 1].front(), "Line 54");
    const auto& last = pages[copy * 3 + 2];
    ASSERT_EQ(last.size(), 16u);
    EXPECT_EQ(last[13], "Line 120");
    EXPECT_EQ(last[14], std::string(72, 'w'));
    EXPECT_EQ(last[15], std::string(8, 'w'));
  }

  // Where the lines are: 100 units (12 points) from the left, the first cell
  // 270 units (32.4 points) from the top, a line every 108 units (12.96).
  double left = 0;
  const std::vector<double> tops = FirstPageWordTops(options.path, &left);
  ASSERT_GE(tops.size(), 3u);
  EXPECT_NEAR(left, 12.0, 0.5);
  EXPECT_NEAR(tops[0], 32.4, 0.5);
  EXPECT_NEAR(tops[2] - tops[0], 2 * 12.96, 0.1);
}

TEST(PdfPrintDeviceTest, FontCellAndLineHeightAt600Dpi) {
  TempDir dir;
  std::unique_ptr<PrintDevice> device = OpenOrDie({.path = dir.path() / "x.pdf"});
  ASSERT_TRUE(device);
  const PrintLayout layout = ComputePrintLayout(*device);
  EXPECT_EQ(layout.cell_height, 108);
  EXPECT_EQ(layout.left_margin, 100);
  EXPECT_EQ(device->MeasureText("CC").height, 0) << "no font yet";
  ASSERT_TRUE(device->SelectFont(kPrintFontFace, layout.cell_height).ok());
  // The height of "CC" is the font's cell.
  const TextExtent cc = device->MeasureText("CC");
  EXPECT_NEAR(cc.height, 108, 1);
  EXPECT_GT(cc.width, 0);
  EXPECT_EQ(device->MeasureText("CCCC").width, 2 * cc.width);
  // Measuring does not depend on whether a document has begun.
  ASSERT_TRUE(device->StartDocument("x").ok());
  ASSERT_TRUE(device->SelectFont(kPrintFontFace, layout.cell_height).ok());
  EXPECT_EQ(device->MeasureText("CC").height, cc.height);
  EXPECT_EQ(device->MeasureText("CC").width, cc.width);
}

TEST(PdfPrintDeviceTest, PaperAndResolutionAreConfigurable) {
  TempDir dir;
  PdfPrintOptions a4{.path = dir.path() / "a4.pdf",
                     .paper_width_mm = PdfPrintOptions::kA4WidthMm,
                     .paper_height_mm = PdfPrintOptions::kA4HeightMm,
                     .dots_per_inch = 300};
  std::unique_ptr<PrintDevice> device = OpenOrDie(a4);
  ASSERT_TRUE(device);
  EXPECT_EQ(device->PrintableWidthMm(), 210);
  EXPECT_EQ(device->PrintableWidth(), 2480);
  EXPECT_EQ(device->PrintableHeight(), 3508);
  EXPECT_EQ(ComputePrintLayout(*device).cell_height, 54);
  ASSERT_TRUE(PrintTextOn(*device, "A4 at 300 dots per inch").ok());
  EXPECT_EQ(PdfInfo(a4.path, "Page size"), "595.276 x 841.89 pts (A4)");
  EXPECT_EQ(PdfPages(a4.path),
            (std::vector<std::vector<std::string>>{{"A4 at 300 dots per inch"}}));

  // Wider than 381 mm: the margin becomes an inch and a half.
  PdfPrintOptions wide{.path = dir.path() / "wide.pdf", .paper_width_mm = 431.8};
  device = OpenOrDie(wide);
  ASSERT_TRUE(device);
  EXPECT_EQ(ComputePrintLayout(*device).left_margin, 900);

  for (const PdfPrintOptions& bad :
       {PdfPrintOptions{}, PdfPrintOptions{.path = "x.pdf", .paper_width_mm = 5},
        PdfPrintOptions{.path = "x.pdf", .dots_per_inch = 0},
        PdfPrintOptions{.path = "x.pdf", .copies = 0},
        PdfPrintOptions{.path = "x.pdf", .copies = 1000}}) {
    EXPECT_FALSE(OpenPdfPrintDevice(bad).ok());
  }
}

TEST(PdfPrintDeviceTest, NothingIsLeftBehindByAFailedOrAbandonedJob) {
  TempDir dir;
  // A folder that does not exist: the document cannot start.
  std::unique_ptr<PrintDevice> device = OpenOrDie({.path = dir.path() / "missing" / "x.pdf"});
  ASSERT_TRUE(device);
  const Status status = PrintTextOn(*device, "text");
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("missing"), std::string::npos) << status.message();

  // A job abandoned half-way leaves the old file as it was and no temporary file.
  const std::filesystem::path path = dir.path() / "kept.pdf";
  std::ofstream(path) << "previous document";
  device = OpenOrDie({.path = path});
  ASSERT_TRUE(device);
  ASSERT_TRUE(device->StartDocument("x").ok());
  ASSERT_TRUE(device->SelectFont(kPrintFontFace, 108).ok());
  ASSERT_TRUE(device->StartPage().ok());
  device->DrawText(100, 270, "never handed over");
  device.reset();
  EXPECT_EQ(ReadFile(path), "previous document");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);

  // A device prints one document.
  device = OpenOrDie({.path = path});
  ASSERT_TRUE(PrintTextOn(*device, "new document").ok());
  EXPECT_FALSE(device->StartDocument("again").ok());
  EXPECT_EQ(PdfPages(path), (std::vector<std::vector<std::string>>{{"new document"}}));
}

}  // namespace
}  // namespace norwin::host
