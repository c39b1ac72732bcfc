#include "norwin/host/print_text.h"

#include <glib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include "norwin/host/print_line.h"
#include "norwin/platform/codepage.h"

namespace norwin::host {
namespace {

// Pages of at most 381 mm printable width get a margin of 100 device units.
constexpr int kNarrowPageMaxMm = 381;
constexpr int kNarrowPageMargin = 100;
constexpr int kFontPoints = 13;
constexpr int kPointsPerInch = 72;

// Ends the page in progress and starts the next.
Status NextPage(PrintDevice& device) {
  if (Status status = device.EndPage(); !status.ok()) return status;
  return device.StartPage();
}

// Prints one copy of `text`, beginning on a fresh page and ending its last.
Status PrintCopy(PrintDevice& device, std::string_view text, int left_margin, int64_t line_height,
                 int64_t top, int64_t page_limit) {
  if (Status status = device.StartPage(); !status.ok()) return status;
  int64_t y = top;
  bool page_has_lines = false;
  size_t offset = 0;
  for (;;) {
    // A page that cannot hold even one line still gets one, rather than an
    // endless run of blank pages on a device too small for the layout.
    if (y + line_height > page_limit && page_has_lines) {
      if (Status status = NextPage(device); !status.ok()) return status;
      y = top;
      page_has_lines = false;
    }
    const PrintLine line = BreakPrintLine(text.substr(offset));
    device.DrawText(left_margin, static_cast<int>(std::min<int64_t>(y, INT_MAX)), line.text);
    page_has_lines = true;
    y += line_height;
    if (line.consumed == 0) break;
    offset += line.consumed;
  }
  return device.EndPage();
}

}  // namespace

PrintLayout ComputePrintLayout(const PrintDevice& device) {
  PrintLayout layout;
  layout.left_margin = device.PrintableWidthMm() <= kNarrowPageMaxMm
                           ? kNarrowPageMargin
                           : device.PixelsPerInchX() * 3 / 2;
  // Rounded to the nearest unit, halves upwards.
  const int64_t scaled = int64_t{kFontPoints} * device.PixelsPerInchY();
  layout.cell_height = static_cast<int>((scaled + kPointsPerInch / 2) / kPointsPerInch);
  return layout;
}

Status PrintTextOn(PrintDevice& device, std::string_view text) {
  // Like a C string, the text ends at its first NUL. Pango draws only valid
  // UTF-8, so broken sequences become replacement characters first.
  text = text.substr(0, text.find('\0'));
  std::string repaired;
  if (!platform::IsValidUtf8(text)) {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    repaired = valid;
    g_free(valid);
    text = repaired;
  }

  if (Status status = device.StartDocument(kPrintJobName); !status.ok()) return status;
  const PrintLayout layout = ComputePrintLayout(device);
  if (Status status = device.SelectFont(kPrintFontFace, layout.cell_height); !status.ok())
    return status;
  const int64_t line_height = std::max(1, device.MeasureText("CC").height);
  const int64_t top = 5 * line_height / 2;
  const int64_t page_limit = int64_t{device.PrintableHeight()} - 5 * line_height;
  const int copies = std::max(1, device.Copies());
  for (int copy = 0; copy < copies; ++copy) {
    if (Status status = PrintCopy(device, text, layout.left_margin, line_height, top, page_limit);
        !status.ok())
      return status;
  }
  return device.EndDocument();
}

Status PrintText(std::optional<std::string_view> text, const PrintDeviceChooser& choose) {
  if (!text) return Status::Ok();
  Result<std::unique_ptr<PrintDevice>> device = choose();
  if (!device.ok()) return device.status();
  if (!*device) return Status::Ok();
  return PrintTextOn(**device, *text);
}

}  // namespace norwin::host
