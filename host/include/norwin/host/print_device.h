// PrintDevice: a printer as the text printing service sees it, a surface of
// fixed resolution on which pages of text are drawn.
//
// Every coordinate and size is in device units, the printer's own pixels
// (PixelsPerInchX() of them to the inch), with the origin at the top-left
// corner of the printable area. A device prints one document: StartDocument,
// then pages (StartPage, DrawText..., EndPage), then EndDocument. Only a
// successful EndDocument hands the document over (to the file or the print
// queue); a device destroyed before that discards what was drawn, so a failed
// job never leaves half a document behind. Devices are used from one thread.
#pragma once

#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::host {

// What a line of text occupies in the device's current font.
struct TextExtent {
  int width = 0;   // advance width
  int height = 0;  // cell height: ascent plus descent
};

class PrintDevice {
 public:
  virtual ~PrintDevice() = default;

  // Resolution in pixels per inch (the LOGPIXELSX and LOGPIXELSY capabilities).
  virtual int PixelsPerInchX() const = 0;
  virtual int PixelsPerInchY() const = 0;
  // Width of the printable area in whole millimetres (HORZSIZE).
  virtual int PrintableWidthMm() const = 0;
  // Size of the printable area in device units (HORZRES and VERTRES).
  virtual int PrintableWidth() const = 0;
  virtual int PrintableHeight() const = 0;
  // The number of copies the user asked for, at least 1. The device puts out
  // what it is given once: drawing the copies is the caller's business.
  virtual int Copies() const = 0;

  // Creates the font of family `face` whose cell (ascent plus descent) is
  // `cell_height` device units, all other attributes at their defaults, and
  // makes it the font of MeasureText and DrawText. A face the system lacks is
  // replaced by the closest one it has. Fails only when no font can be made.
  [[nodiscard]] virtual Status SelectFont(std::string_view face, int cell_height) = 0;
  // The extent of `text` (UTF-8, drawn as one line) in the current font; zero
  // before a font is selected.
  virtual TextExtent MeasureText(std::string_view text) = 0;

  // Begins the document, named `name` in the print queue or the file's title.
  [[nodiscard]] virtual Status StartDocument(std::string_view name) = 0;
  [[nodiscard]] virtual Status StartPage() = 0;
  // Draws `text` (UTF-8) as one line in the current font with the top-left
  // corner of its cell at (x, y). Draws nothing outside a page or before a
  // font is selected.
  virtual void DrawText(int x, int y, std::string_view text) = 0;
  [[nodiscard]] virtual Status EndPage() = 0;
  // Completes the document and hands it over. On failure nothing is handed over.
  [[nodiscard]] virtual Status EndDocument() = 0;
};

}  // namespace norwin::host
