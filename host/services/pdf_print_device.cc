#include "norwin/host/pdf_print_device.h"

#include <cairo-pdf.h>
#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "cairo_print_device.h"

namespace norwin::host {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72.0;

Status ErrnoError(const std::string& what, const std::filesystem::path& path) {
  return Status::Error(what + " " + path.string() + ": " + std::strerror(errno));
}

// Writes the document to a temporary file beside `path` and renames it over
// `path` once complete, so that `path` holds either the old file or the whole
// new document, never a torn one.
class PdfFileSink final : public CairoDocumentSink {
 public:
  PdfFileSink(std::filesystem::path path, double width_pt, double height_pt)
      : path_(std::move(path)), width_pt_(width_pt), height_pt_(height_pt) {}

  ~PdfFileSink() override {
    if (!temp_.empty()) unlink(temp_.c_str());
  }

  Result<OpenedSurface> Open(std::string_view name) override {
    std::string temp = path_.string() + ".XXXXXX";
    // Readable like any file the user creates (the umask applies), unlike
    // mkstemp's private files.
    const int fd = g_mkstemp_full(temp.data(), O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) return ErrnoError("cannot create a file beside", path_);
    close(fd);
    temp_ = temp;
    OpenedSurface opened;
    opened.surface = cairo_pdf_surface_create(temp_.c_str(), width_pt_, height_pt_);
    cairo_matrix_init_identity(&opened.to_sheet);
    const std::string title(name);
    cairo_pdf_surface_set_metadata(opened.surface, CAIRO_PDF_METADATA_TITLE, title.c_str());
    cairo_pdf_surface_set_metadata(opened.surface, CAIRO_PDF_METADATA_CREATOR, "Lumo");
    return opened;
  }

  Status Publish() override {
    // The surface has closed the file; make its contents durable before the
    // rename makes them visible under the real name.
    const int fd = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) {
      if (fd >= 0) close(fd);
      return ErrnoError("cannot write", temp_);
    }
    close(fd);
    if (rename(temp_.c_str(), path_.c_str()) != 0) return ErrnoError("cannot replace", path_);
    temp_.clear();
    return Status::Ok();
  }

 private:
  const std::filesystem::path path_;
  const double width_pt_;
  const double height_pt_;
  std::string temp_;  // the temporary file while it exists
};

}  // namespace

Result<std::unique_ptr<PrintDevice>> OpenPdfPrintDevice(PdfPrintOptions options) {
  if (options.path.empty()) return Status::Error("no file to print to");
  auto paper_ok = [](double mm) { return std::isfinite(mm) && mm >= 10 && mm <= 5000; };
  if (!paper_ok(options.paper_width_mm) || !paper_ok(options.paper_height_mm))
    return Status::Error("paper size must be between 10 mm and 5 m");
  if (options.dots_per_inch < 36 || options.dots_per_inch > 4800)
    return Status::Error("resolution must be between 36 and 4800 dots per inch");
  if (options.copies < 1 || options.copies > 999)
    return Status::Error("copies must be between 1 and 999");

  const double width_in = options.paper_width_mm / kMmPerInch;
  const double height_in = options.paper_height_mm / kMmPerInch;
  PrintGeometry geometry;
  geometry.dpi_x = geometry.dpi_y = options.dots_per_inch;
  geometry.width = static_cast<int>(std::lround(width_in * options.dots_per_inch));
  geometry.height = static_cast<int>(std::lround(height_in * options.dots_per_inch));
  geometry.width_mm = static_cast<int>(std::lround(options.paper_width_mm));
  auto sink = std::make_unique<PdfFileSink>(std::move(options.path), width_in * kPointsPerInch,
                                            height_in * kPointsPerInch);
  return std::unique_ptr<PrintDevice>(
      std::make_unique<CairoPrintDevice>(geometry, options.copies, std::move(sink)));
}

}  // namespace norwin::host
