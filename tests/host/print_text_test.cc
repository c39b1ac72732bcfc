#include "norwin/host/print_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace norwin::host {
namespace {

// A printer that remembers what it was asked to do. Text measures 10 units a
// byte wide and `line_height` high; a call can be made to fail.
class RecordingDevice : public PrintDevice {
 public:
  struct Drawn {
    int page;  // 0-based, over the whole document
    int x;
    int y;
    std::string text;
  };

  int dpi = 600;
  int width_mm = 216;
  int width = 5100;
  int height = 6600;
  int copies = 1;
  int line_height = 108;
  bool fail_font = false;
  int fail_end_page = -1;  // the 0-based EndPage call that fails

  std::vector<std::string> calls;
  std::vector<Drawn> drawn;
  std::string font_face;
  int font_cell = 0;

  int PixelsPerInchX() const override { return dpi; }
  int PixelsPerInchY() const override { return dpi; }
  int PrintableWidthMm() const override { return width_mm; }
  int PrintableWidth() const override { return width; }
  int PrintableHeight() const override { return height; }
  int Copies() const override { return copies; }

  Status SelectFont(std::string_view face, int cell_height) override {
    calls.push_back("font");
    if (fail_font) return Status::Error("no fonts");
    font_face = face;
    font_cell = cell_height;
    return Status::Ok();
  }
  TextExtent MeasureText(std::string_view text) override {
    return {static_cast<int>(text.size()) * 10, font_cell ? line_height : 0};
  }
  Status StartDocument(std::string_view name) override {
    calls.push_back("doc " + std::string(name));
    return Status::Ok();
  }
  Status StartPage() override {
    calls.push_back("page");
    return Status::Ok();
  }
  void DrawText(int x, int y, std::string_view text) override {
    drawn.push_back({pages_ended_, x, y, std::string(text)});
  }
  Status EndPage() override {
    calls.push_back("end page");
    if (pages_ended_++ == fail_end_page) return Status::Error("out of paper");
    return Status::Ok();
  }
  Status EndDocument() override {
    calls.push_back("end doc");
    return Status::Ok();
  }

 private:
  int pages_ended_ = 0;
};

std::string NumberedLines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "line " + std::to_string(i) + "\r\n";
  text.resize(text.size() - 2);
  return text;
}

TEST(PrintLayoutTest, MarginAndFontFollowTheDevice) {
  RecordingDevice device;
  PrintLayout layout = ComputePrintLayout(device);
  EXPECT_EQ(layout.left_margin, 100);
  EXPECT_EQ(layout.cell_height, 108) << "13 x 600 / 72 = 108.33";

  device.width_mm = 381;
  EXPECT_EQ(ComputePrintLayout(device).left_margin, 100);
  device.width_mm = 382;
  EXPECT_EQ(ComputePrintLayout(device).left_margin, 900) << "1.5 x 600";

  device.dpi = 300;
  EXPECT_EQ(ComputePrintLayout(device).cell_height, 54);  // 54.17
  EXPECT_EQ(ComputePrintLayout(device).left_margin, 450);
  device.dpi = 36;
  EXPECT_EQ(ComputePrintLayout(device).cell_height, 7) << "6.5 rounds up";
  device.dpi = 97;
  EXPECT_EQ(ComputePrintLayout(device).cell_height, 18);  // 17.51
}

TEST(PrintTextTest, FillsPagesFromTheTopToTheLimit) {
  RecordingDevice device;
  ASSERT_TRUE(PrintTextOn(device, NumberedLines(120)).ok());
  EXPECT_EQ(device.font_face, "Times New Roman");
  EXPECT_EQ(device.font_cell, 108);
  EXPECT_EQ(device.calls.front(), "doc Browser Print");
  EXPECT_EQ(device.calls.back(), "end doc");

  const int top = 5 * 108 / 2;
  const int limit = 6600 - 5 * 108;
  ASSERT_EQ(device.drawn.size(), 120u);
  for (size_t i = 0; i < device.drawn.size(); ++i) {
    const RecordingDevice::Drawn& line = device.drawn[i];
    EXPECT_EQ(line.text, "line " + std::to_string(i + 1));
    EXPECT_EQ(line.x, 100);
    EXPECT_LE(line.y + 108, limit);
    const bool first_on_page = i == 0 || device.drawn[i - 1].page != line.page;
    if (first_on_page) {
      EXPECT_EQ(line.y, top);
      // The page before was full: one more line would have ended below the limit.
      if (i > 0) {
        EXPECT_GT(device.drawn[i - 1].y + 2 * 108, limit);
      }
    } else {
      EXPECT_EQ(line.y, device.drawn[i - 1].y + 108);
    }
  }
  // (6060 - 270) / 108 = 53.6: 53 lines a page.
  EXPECT_EQ(device.drawn[52].page, 0);
  EXPECT_EQ(device.drawn[53].page, 1);
  EXPECT_EQ(device.drawn.back().page, 2);
  EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "page"), 3);
  EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "end page"), 3);
}

TEST(PrintTextTest, EveryCopyStartsOnANewPage) {
  RecordingDevice device;
  device.copies = 3;
  ASSERT_TRUE(PrintTextOn(device, NumberedLines(60) + "\r\n" + std::string(80, 'w')).ok());
  // 62 lines a copy: a full page of 53 and a page of 9.
  ASSERT_EQ(device.drawn.size(), 3u * 62);
  for (int copy = 0; copy < 3; ++copy) {
    const RecordingDevice::Drawn& first = device.drawn[copy * 62];
    EXPECT_EQ(first.text, "line 1");
    EXPECT_EQ(first.page, copy * 2);
    EXPECT_EQ(first.y, 270);
    EXPECT_EQ(device.drawn[copy * 62 + 60].text, std::string(72, 'w'));
    EXPECT_EQ(device.drawn[copy * 62 + 61].text, std::string(8, 'w'));
    EXPECT_EQ(device.drawn[copy * 62 + 61].page, copy * 2 + 1);
  }
}

TEST(PrintTextTest, TinyPagesGetOneLineEachAndNoBlankPages) {
  RecordingDevice device;
  device.height = 800;  // limit 260 is above the first line's top of 270
  ASSERT_TRUE(PrintTextOn(device, "a\r\nb\r\nc").ok());
  ASSERT_EQ(device.drawn.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(device.drawn[i].page, i);
    EXPECT_EQ(device.drawn[i].y, 270);
  }
  EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "page"), 3);
}

TEST(PrintTextTest, TextEndsAtNulAndBrokenUtf8IsRepaired) {
  RecordingDevice device;
  using std::string_literals::operator""s;
  ASSERT_TRUE(PrintTextOn(device, "caf\xC3\r\nshown\0hidden"s).ok());
  ASSERT_EQ(device.drawn.size(), 2u);
  EXPECT_EQ(device.drawn[0].text, "caf\uFFFD");
  EXPECT_EQ(device.drawn[1].text, "shown");

  RecordingDevice empty;
  ASSERT_TRUE(PrintTextOn(empty, "").ok());
  ASSERT_EQ(empty.drawn.size(), 1u) << "an empty text is one empty page";
  EXPECT_EQ(empty.drawn[0].text, "");
}

TEST(PrintTextTest, FailuresEndTheJobWithoutHandingItOver) {
  RecordingDevice no_font;
  no_font.fail_font = true;
  EXPECT_FALSE(PrintTextOn(no_font, "text").ok());
  EXPECT_TRUE(no_font.drawn.empty());
  EXPECT_EQ(std::count(no_font.calls.begin(), no_font.calls.end(), "end doc"), 0);

  RecordingDevice jammed;
  jammed.copies = 2;
  jammed.fail_end_page = 0;
  const Status status = PrintTextOn(jammed, "text");
  EXPECT_EQ(status.message(), "out of paper");
  EXPECT_EQ(std::count(jammed.calls.begin(), jammed.calls.end(), "page"), 1);
  EXPECT_EQ(std::count(jammed.calls.begin(), jammed.calls.end(), "end doc"), 0);
}

TEST(PrintTextTest, AbsentTextAndCancelPrintNothing) {
  int asked = 0;
  auto chooser = [&](bool cancel) {
    return [&, cancel]() -> Result<std::unique_ptr<PrintDevice>> {
      ++asked;
      if (cancel) return std::unique_ptr<PrintDevice>();
      return std::unique_ptr<PrintDevice>(std::make_unique<RecordingDevice>());
    };
  };
  EXPECT_TRUE(PrintText(std::nullopt, chooser(false)).ok());
  EXPECT_EQ(asked, 0) << "no dialog for an absent text";
  EXPECT_TRUE(PrintText("text", chooser(true)).ok());
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(PrintText("text", chooser(false)).ok());
  EXPECT_EQ(asked, 2);

  auto failing = []() -> Result<std::unique_ptr<PrintDevice>> {
    return Status::Error("no printer named \"x\"");
  };
  EXPECT_EQ(PrintText("text", failing).message(), "no printer named \"x\"");
}

}  // namespace
}  // namespace norwin::host
