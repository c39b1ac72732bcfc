#include "norwin/host/print_device_chooser.h"

#include <cstdlib>
#include <string>
#include <utility>

#include "norwin/host/gtk_print_device.h"
#include "norwin/host/pdf_print_device.h"
#include "norwin/host/print_text.h"

namespace norwin::host {

Result<std::unique_ptr<PrintDevice>> MakePrintDevice(const platform::PrintChoice& choice,
                                                     platform::PromptsKind kind) {
  if (kind == platform::PromptsKind::kGtk) return OpenGtkPrintDevice(choice);
  const char* pdf = std::getenv(kPrintToPdfVariable);
  if (!pdf || !*pdf) {
    return Status::Error(std::string("no printer without a display; set ") + kPrintToPdfVariable +
                         " to print to a PDF file");
  }
  PdfPrintOptions options;
  options.path = pdf;
  options.copies = choice.copies;
  return OpenPdfPrintDevice(std::move(options));
}

Result<std::unique_ptr<PrintDevice>> ChoosePrintDevice() {
  platform::PrintDialogRequest request;
  request.flags = platform::kPdReturnDc | platform::kPdNoSelection | platform::kPdNoPageNums;
  platform::Prompts& prompts = platform::CurrentPrompts();
  const std::optional<platform::PrintChoice> choice = prompts.ChoosePrinter(request);
  if (!choice) return std::unique_ptr<PrintDevice>();
  return MakePrintDevice(*choice, prompts.kind());
}

Status PrintText(std::optional<std::string_view> text) {
  return PrintText(text, ChoosePrintDevice);
}

}  // namespace norwin::host
