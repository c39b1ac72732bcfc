// A print device that writes the document to a PDF file: the printer of
// tests, and of machines without a print dialog (see print_device_chooser.h).
//
// The whole sheet is printable, as on a borderless printer, so the device's
// origin is the paper's top-left corner. Text goes through Pango, so a face the
// system lacks resolves through fontconfig ("Times New Roman" becomes the
// metric-compatible Liberation Serif). The file is written whole: pages go to a
// temporary file in the same folder, which EndDocument renames over `path`.
#pragma once

#include <filesystem>
#include <memory>

#include "norwin/host/print_device.h"
#include "norwin/platform/status.h"

namespace norwin::host {

struct PdfPrintOptions {
  // Paper sizes in millimetres, portrait.
  static constexpr double kLetterWidthMm = 215.9;
  static constexpr double kLetterHeightMm = 279.4;
  static constexpr double kA4WidthMm = 210.0;
  static constexpr double kA4HeightMm = 297.0;

  std::filesystem::path path;  // the file to write
  double paper_width_mm = kLetterWidthMm;
  double paper_height_mm = kLetterHeightMm;
  int dots_per_inch = 600;  // device units per inch, both directions
  int copies = 1;
};

// Fails, saying why, when an option is out of range (no path, paper sizes
// outside 10 mm to 5 m, resolution outside 36 to 4800, copies outside 1 to
// 999). Nothing is written before StartDocument.
[[nodiscard]] Result<std::unique_ptr<PrintDevice>> OpenPdfPrintDevice(PdfPrintOptions options);

}  // namespace norwin::host
