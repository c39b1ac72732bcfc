#include "norwin/host/gtk_print_device.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include <cmath>
#include <string>
#include <utility>

#include "cairo_print_device.h"

namespace norwin::host {
namespace {

constexpr int kDefaultDpi = 600;
constexpr int kMinDpi = 36;
constexpr int kMaxDpi = 4800;
// How long EndDocument waits for the print system to take the job.
constexpr guint kSendTimeoutSeconds = 60;
constexpr char kPageSetupGroup[] = "Page Setup";

GtkPrintSettings* RebuildSettings(const platform::PrintChoice& choice) {
  GtkPrintSettings* settings = gtk_print_settings_new();
  for (const auto& [key, value] : choice.settings)
    gtk_print_settings_set(settings, key.c_str(), value.c_str());
  // The copies are drawn one after another into the document; a printer
  // asked for copies too would multiply them. And the whole text is printed:
  // there are no page numbers to choose from.
  gtk_print_settings_set_n_copies(settings, 1);
  gtk_print_settings_set_print_pages(settings, GTK_PRINT_PAGES_ALL);
  return settings;
}

Result<GtkPageSetup*> RebuildPageSetup(const platform::PrintChoice& choice) {
  if (choice.page_setup.empty()) return gtk_page_setup_new();
  GKeyFile* file = g_key_file_new();
  for (const auto& [key, value] : choice.page_setup)
    g_key_file_set_value(file, kPageSetupGroup, key.c_str(), value.c_str());
  GError* error = nullptr;
  GtkPageSetup* setup = gtk_page_setup_new_from_key_file(file, kPageSetupGroup, &error);
  g_key_file_free(file);
  if (!setup) {
    Status status = Status::Error(std::string("cannot read the page setup: ") +
                                  (error ? error->message : "unknown error"));
    if (error) g_error_free(error);
    return status;
  }
  return setup;
}

// The printer called `name`, or the default printer when `name` is empty; a
// new reference, or null when the print system knows no such printer.
GtkPrinter* FindPrinter(const std::string& name) {
  struct Search {
    const std::string* name;
    GtkPrinter* found = nullptr;
  } search{&name};
  gtk_enumerate_printers(
      [](GtkPrinter* printer, gpointer data) -> gboolean {
        auto* search = static_cast<Search*>(data);
        const bool match = search->name->empty() ? gtk_printer_is_default(printer)
                                                 : *search->name == gtk_printer_get_name(printer);
        if (!match) return FALSE;
        search->found = GTK_PRINTER(g_object_ref(printer));
        return TRUE;
      },
      &search, nullptr, TRUE);
  return search.found;
}

int ResolutionOr(GtkPrintSettings* settings, int (*get)(GtkPrintSettings*)) {
  if (!gtk_print_settings_has_key(settings, GTK_PRINT_SETTINGS_RESOLUTION) &&
      !gtk_print_settings_has_key(settings, GTK_PRINT_SETTINGS_RESOLUTION_X))
    return kDefaultDpi;
  const int dpi = get(settings);
  return dpi < kMinDpi || dpi > kMaxDpi ? kDefaultDpi : dpi;
}

// Where the printable area lies on a surface page of the paper's own
// (portrait) size, for a print system that takes pages that way.
cairo_matrix_t RotateToOrientation(GtkPageSetup* setup) {
  GtkPaperSize* paper = gtk_page_setup_get_paper_size(setup);
  const double width = gtk_paper_size_get_width(paper, GTK_UNIT_POINTS);
  const double height = gtk_paper_size_get_height(paper, GTK_UNIT_POINTS);
  cairo_matrix_t m;
  switch (gtk_page_setup_get_orientation(setup)) {
    case GTK_PAGE_ORIENTATION_LANDSCAPE:  // the page's top along the paper's left edge
      cairo_matrix_init(&m, 0, -1, 1, 0, 0, height);
      break;
    case GTK_PAGE_ORIENTATION_REVERSE_PORTRAIT:
      cairo_matrix_init(&m, -1, 0, 0, -1, width, height);
      break;
    case GTK_PAGE_ORIENTATION_REVERSE_LANDSCAPE:
      cairo_matrix_init(&m, 0, 1, -1, 0, width, 0);
      break;
    case GTK_PAGE_ORIENTATION_PORTRAIT:
    default:
      cairo_matrix_init_identity(&m);
      break;
  }
  return m;
}

class GtkJobSink final : public CairoDocumentSink {
 public:
  // Takes over the references.
  GtkJobSink(GtkPrinter* printer, GtkPrintSettings* settings, GtkPageSetup* setup)
      : printer_(printer), settings_(settings), setup_(setup) {}

  ~GtkJobSink() override {
    if (job_) g_object_unref(job_);
    g_object_unref(setup_);
    g_object_unref(settings_);
    g_object_unref(printer_);
  }

  Result<OpenedSurface> Open(std::string_view name) override {
    job_ = gtk_print_job_new(std::string(name).c_str(), printer_, settings_, setup_);
    GError* error = nullptr;
    cairo_surface_t* surface = gtk_print_job_get_surface(job_, &error);
    if (!surface) {
      Status status = Status::Error(std::string("cannot start the print job: ") +
                                    (error ? error->message : "unknown error"));
      if (error) g_error_free(error);
      return status;
    }
    OpenedSurface opened;
    opened.surface = cairo_surface_reference(surface);
    if (cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_PDF) {
      cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, std::string(name).c_str());
    }
    if (gtk_print_job_get_rotate(job_)) {
      opened.to_sheet = RotateToOrientation(setup_);
    } else {
      // The print system takes pages as they are oriented.
      const double width = gtk_page_setup_get_paper_width(setup_, GTK_UNIT_POINTS);
      const double height = gtk_page_setup_get_paper_height(setup_, GTK_UNIT_POINTS);
      if (cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_PDF)
        cairo_pdf_surface_set_size(surface, width, height);
      else if (cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_PS)
        cairo_ps_surface_set_size(surface, width, height);
      cairo_matrix_init_identity(&opened.to_sheet);
    }
    cairo_matrix_translate(&opened.to_sheet,
                           gtk_page_setup_get_left_margin(setup_, GTK_UNIT_POINTS),
                           gtk_page_setup_get_top_margin(setup_, GTK_UNIT_POINTS));
    return opened;
  }

  Status Publish() override {
    // Shared with the callback, which may come after this call gave up.
    struct Sending {
      bool done = false;
      bool timed_out = false;
      std::string error;
    };
    auto* sending = new std::shared_ptr<Sending>(std::make_shared<Sending>());
    std::shared_ptr<Sending> state = *sending;
    gtk_print_job_send(
        job_,
        [](GtkPrintJob*, gpointer data, const GError* error) {
          Sending& s = **static_cast<std::shared_ptr<Sending>*>(data);
          s.done = true;
          if (error) s.error = error->message;
        },
        sending, [](gpointer data) { delete static_cast<std::shared_ptr<Sending>*>(data); });
    const guint timeout = g_timeout_add_seconds(
        kSendTimeoutSeconds,
        [](gpointer data) -> gboolean {
          static_cast<Sending*>(data)->timed_out = true;
          return G_SOURCE_REMOVE;
        },
        state.get());
    while (!state->done && !state->timed_out) g_main_context_iteration(nullptr, TRUE);
    if (!state->timed_out) g_source_remove(timeout);
    if (!state->done) return Status::Error("the print system did not take the job in time");
    if (!state->error.empty()) return Status::Error("cannot print: " + state->error);
    return Status::Ok();
  }

 private:
  GtkPrinter* printer_;
  GtkPrintSettings* settings_;
  GtkPageSetup* setup_;
  GtkPrintJob* job_ = nullptr;
};

}  // namespace

Result<std::unique_ptr<PrintDevice>> OpenGtkPrintDevice(const platform::PrintChoice& choice) {
  GtkPrinter* printer = FindPrinter(choice.printer);
  if (!printer) {
    return Status::Error(choice.printer.empty() ? "there is no default printer"
                                                : "no printer named \"" + choice.printer + "\"");
  }
  Result<GtkPageSetup*> setup = RebuildPageSetup(choice);
  if (!setup.ok()) {
    g_object_unref(printer);
    return setup.status();
  }
  GtkPrintSettings* settings = RebuildSettings(choice);
  PrintGeometry geometry;
  geometry.dpi_x = ResolutionOr(settings, gtk_print_settings_get_resolution_x);
  geometry.dpi_y = ResolutionOr(settings, gtk_print_settings_get_resolution_y);
  geometry.width = static_cast<int>(
      std::lround(gtk_page_setup_get_page_width(*setup, GTK_UNIT_INCH) * geometry.dpi_x));
  geometry.height = static_cast<int>(
      std::lround(gtk_page_setup_get_page_height(*setup, GTK_UNIT_INCH) * geometry.dpi_y));
  geometry.width_mm =
      static_cast<int>(std::lround(gtk_page_setup_get_page_width(*setup, GTK_UNIT_MM)));
  if (geometry.width <= 0 || geometry.height <= 0) {
    g_object_unref(settings);
    g_object_unref(*setup);
    g_object_unref(printer);
    return Status::Error("the page setup leaves no printable area");
  }
  auto sink = std::make_unique<GtkJobSink>(printer, settings, *setup);
  return std::unique_ptr<PrintDevice>(
      std::make_unique<CairoPrintDevice>(geometry, choice.copies, std::move(sink)));
}

}  // namespace norwin::host
