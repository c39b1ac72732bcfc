#include "cairo_print_device.h"

#include <pango/pangocairo.h>

#include <climits>
#include <cmath>
#include <string>
#include <utility>

namespace norwin::host {
namespace {

// Pango takes lengths as int; a longer text is not a line anyone prints.
int ClampedLength(std::string_view text) {
  return text.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(text.size());
}

Status CairoError(const char* what, cairo_status_t status) {
  return Status::Error(std::string(what) + ": " + cairo_status_to_string(status));
}

// Unhinted metrics: a line measures the same at every resolution and on
// every surface, so what was measured is what is drawn.
PangoContext* NewUnhintedContext(PangoFontMap* font_map) {
  PangoContext* context = pango_font_map_create_context(font_map);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  return context;
}

}  // namespace

CairoPrintDevice::CairoPrintDevice(const PrintGeometry& geometry, int copies,
                                   std::unique_ptr<CairoDocumentSink> sink)
    : geometry_(geometry), copies_(copies < 1 ? 1 : copies), sink_(std::move(sink)) {
  font_map_ = pango_cairo_font_map_new();
  context_ = NewUnhintedContext(font_map_);
  font_context_ = NewUnhintedContext(font_map_);
  layout_ = pango_layout_new(context_);
  // A line feed inside a line is a character like any other, not a line end.
  pango_layout_set_single_paragraph_mode(layout_, TRUE);
}

CairoPrintDevice::~CairoPrintDevice() {
  ReleaseSurface();
  g_object_unref(layout_);
  g_object_unref(font_context_);
  g_object_unref(context_);
  g_object_unref(font_map_);
}

void CairoPrintDevice::ReleaseSurface() {
  if (cr_) cairo_destroy(cr_);
  if (surface_) cairo_surface_destroy(surface_);
  cr_ = nullptr;
  surface_ = nullptr;
}

Status CairoPrintDevice::SelectFont(std::string_view face, int cell_height) {
  if (cell_height <= 0) return Status::Error("font height must be positive");
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, std::string(face).c_str());
  // Pango sizes a font by its em; the cell (ascent plus descent) is larger
  // by a proportion of the face's own. Load the face once with an em of the
  // cell height to learn that proportion, then scale the em to fit the cell.
  const double wanted = static_cast<double>(cell_height) * PANGO_SCALE;
  pango_font_description_set_absolute_size(description, wanted);
  PangoFont* font = pango_context_load_font(font_context_, description);
  if (!font) {
    pango_font_description_free(description);
    return Status::Error("no font for \"" + std::string(face) + "\"");
  }
  PangoFontMetrics* metrics = pango_font_get_metrics(font, nullptr);
  const int cell = pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics);
  pango_font_metrics_unref(metrics);
  g_object_unref(font);
  if (cell <= 0) {
    pango_font_description_free(description);
    return Status::Error("font \"" + std::string(face) + "\" has no height");
  }
  pango_font_description_set_absolute_size(description, wanted * wanted / cell);
  pango_layout_set_font_description(layout_, description);
  pango_font_description_free(description);
  has_font_ = true;
  return Status::Ok();
}

TextExtent CairoPrintDevice::MeasureText(std::string_view text) {
  if (!has_font_) return {};
  pango_layout_set_text(layout_, text.data(), ClampedLength(text));
  PangoRectangle logical;
  pango_layout_get_extents(layout_, nullptr, &logical);
  return {static_cast<int>(std::lround(pango_units_to_double(logical.width))),
          static_cast<int>(std::lround(pango_units_to_double(logical.height)))};
}

Status CairoPrintDevice::StartDocument(std::string_view name) {
  if (state_ != State::kIdle) return Status::Error("the device has already printed a document");
  Result<OpenedSurface> opened = sink_->Open(name);
  if (!opened.ok()) return opened.status();
  surface_ = opened->surface;
  if (cairo_status_t status = cairo_surface_status(surface_); status != CAIRO_STATUS_SUCCESS) {
    ReleaseSurface();
    return CairoError("cannot start the document", status);
  }
  cr_ = cairo_create(surface_);
  cairo_transform(cr_, &opened->to_sheet);
  cairo_scale(cr_, 72.0 / geometry_.dpi_x, 72.0 / geometry_.dpi_y);
  cairo_set_source_rgb(cr_, 0, 0, 0);
  // From here on the layout measures in the space it is drawn in.
  pango_cairo_update_context(cr_, context_);
  pango_layout_context_changed(layout_);
  state_ = State::kDocument;
  return Status::Ok();
}

Status CairoPrintDevice::StartPage() {
  if (state_ != State::kDocument) return Status::Error("no document to start a page in");
  state_ = State::kPage;
  return Status::Ok();
}

void CairoPrintDevice::DrawText(int x, int y, std::string_view text) {
  if (state_ != State::kPage || !has_font_) return;
  pango_layout_set_text(layout_, text.data(), ClampedLength(text));
  cairo_move_to(cr_, x, y);
  pango_cairo_show_layout(cr_, layout_);
}

Status CairoPrintDevice::EndPage() {
  if (state_ != State::kPage) return Status::Error("no page to end");
  cairo_show_page(cr_);
  state_ = State::kDocument;
  if (cairo_status_t status = cairo_status(cr_); status != CAIRO_STATUS_SUCCESS)
    return CairoError("cannot print the page", status);
  return Status::Ok();
}

Status CairoPrintDevice::EndDocument() {
  if (state_ != State::kDocument) return Status::Error("no document to end, or a page is open");
  state_ = State::kDone;
  cairo_destroy(cr_);
  cr_ = nullptr;
  cairo_surface_finish(surface_);
  const cairo_status_t status = cairo_surface_status(surface_);
  ReleaseSurface();
  if (status != CAIRO_STATUS_SUCCESS) return CairoError("cannot write the document", status);
  return sink_->Publish();
}

}  // namespace norwin::host
