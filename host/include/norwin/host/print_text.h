// PrintText: prints plain text for page script (the PrintStr scripting
// method). The user picks a printer and a number of copies in the print
// dialog; the text is printed in 13-point Times New Roman, wrapped by
// BreakPrintLine, page after page, each copy starting on a new page, as one
// document named "Browser Print". No header, footer or page numbers.
//
// Call from the UI thread: the print dialog is modal.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "norwin/host/print_device.h"
#include "norwin/platform/status.h"

namespace norwin::host {

// The name of every print job.
inline constexpr std::string_view kPrintJobName = "Browser Print";
// The face of printed text.
inline constexpr std::string_view kPrintFontFace = "Times New Roman";

// Where text goes on a device's pages, in its device units.
struct PrintLayout {
  int left_margin = 0;  // x of every line
  int cell_height = 0;  // the font's cell height
};

// The layout for `device`: a left margin of 100 units when the printable
// width is at most 381 mm, otherwise one and a half inches; a cell height of
// 13 points, 13 x PixelsPerInchY / 72 rounded to the nearest unit. The margin
// is in device units, not a distance: 100 is 1/6 inch at 600 dots per inch.
PrintLayout ComputePrintLayout(const PrintDevice& device);

// Prints `text` (UTF-8) on `device`: StartDocument, Copies() copies, EndDocument.
// Every page takes lines from 5/2 line heights from the top until the next
// line would end below the printable height less 5 line heights; the line
// height is the height of "CC" in the font. The text ends at its first NUL.
// Fails, with nothing handed over, when the font cannot be made or the device
// fails; the device is used up either way.
[[nodiscard]] Status PrintTextOn(PrintDevice& device, std::string_view text);

// Shows the print dialog and returns the device for the printer and copies
// the user chose; nullptr when the user cancelled; an error when the choice
// cannot be printed on (the printer has gone, say).
using PrintDeviceChooser = std::function<Result<std::unique_ptr<PrintDevice>>()>;

// PrintText as page script calls it: nothing happens when `text` is absent;
// otherwise `choose` shows the print dialog, and a cancelled dialog ends the
// call silently (Ok). Errors of the device are returned for the caller's log;
// the user sees none, as with any print spooler.
[[nodiscard]] Status PrintText(std::optional<std::string_view> text,
                               const PrintDeviceChooser& choose);

// PrintText with the process's print dialog (ChoosePrintDevice in
// print_device_chooser.h, which tells how tests print to a PDF file).
[[nodiscard]] Status PrintText(std::optional<std::string_view> text);

}  // namespace norwin::host
