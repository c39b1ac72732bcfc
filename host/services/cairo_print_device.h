// CairoPrintDevice: the drawing code every print device shares. Text is laid
// out with Pango and drawn with cairo on a surface that a CairoDocumentSink
// provides (a PDF file, a GTK print job), so that what a test reads back from a
// PDF is exactly what a printer receives.
//
// Private to the printing service; devices are made by OpenPdfPrintDevice and
// ChooseGtkPrintDevice.
#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <memory>
#include <string_view>

#include "norwin/host/print_device.h"
#include "norwin/platform/status.h"

namespace norwin::host {

// The device's resolution and printable area.
struct PrintGeometry {
  int dpi_x = 600;
  int dpi_y = 600;
  int width = 0;     // printable area in device units
  int height = 0;    //
  int width_mm = 0;  // printable width in whole millimetres
};

// The surface a document is drawn on and where the printable area lies on it.
struct OpenedSurface {
  cairo_surface_t* surface = nullptr;  // a reference the device takes over
  // From the printable area, in points with the origin at its top-left
  // corner, to the surface's own points.
  cairo_matrix_t to_sheet;
};

// Where a device's document goes. The device destroys its surface before its
// sink, so a sink's destructor may drop whatever the surface wrote to.
class CairoDocumentSink {
 public:
  virtual ~CairoDocumentSink() = default;
  // Makes the surface for the document `name`.
  [[nodiscard]] virtual Result<OpenedSurface> Open(std::string_view name) = 0;
  // Hands the document over once its surface has been finished without error.
  [[nodiscard]] virtual Status Publish() = 0;
};

class CairoPrintDevice final : public PrintDevice {
 public:
  // `geometry` must be sane (positive resolution and size); `copies` >= 1.
  CairoPrintDevice(const PrintGeometry& geometry, int copies,
                   std::unique_ptr<CairoDocumentSink> sink);
  ~CairoPrintDevice() override;
  CairoPrintDevice(const CairoPrintDevice&) = delete;
  CairoPrintDevice& operator=(const CairoPrintDevice&) = delete;

  int PixelsPerInchX() const override { return geometry_.dpi_x; }
  int PixelsPerInchY() const override { return geometry_.dpi_y; }
  int PrintableWidthMm() const override { return geometry_.width_mm; }
  int PrintableWidth() const override { return geometry_.width; }
  int PrintableHeight() const override { return geometry_.height; }
  int Copies() const override { return copies_; }

  Status SelectFont(std::string_view face, int cell_height) override;
  TextExtent MeasureText(std::string_view text) override;

  Status StartDocument(std::string_view name) override;
  Status StartPage() override;
  void DrawText(int x, int y, std::string_view text) override;
  Status EndPage() override;
  Status EndDocument() override;

 private:
  enum class State { kIdle, kDocument, kPage, kDone };

  // Drops the drawing context and the surface; an unfinished document is lost.
  void ReleaseSurface();

  const PrintGeometry geometry_;
  const int copies_;
  // Declared before the surface so that it outlives it.
  std::unique_ptr<CairoDocumentSink> sink_;
  // The device's own, so that the font caches go with it.
  PangoFontMap* font_map_ = nullptr;
  PangoContext* context_ = nullptr;  // follows the drawing context's transformation
  // Keeps the identity transformation: font metrics read through a
  // transformed context come out in the surface's units, not the device's.
  PangoContext* font_context_ = nullptr;
  PangoLayout* layout_ = nullptr;
  bool has_font_ = false;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  State state_ = State::kIdle;
};

}  // namespace norwin::host
