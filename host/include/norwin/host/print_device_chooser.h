// Where PrintText finds its printer: the print dialog of the process's prompts
// (platform::CurrentPrompts()), which the system layer picks for the session.
//
//  - GTK prompts (a desktop session): the printer, settings and page setup
//    chosen in the GTK print dialog, printed through GTK (OpenGtkPrintDevice).
//  - Scripted prompts (tests) and non-interactive ones (no display): there is
//    no printer to print on. An answer of OK prints to the PDF file named by
//    $NORWIN_PRINT_TO_PDF (Letter paper, 600 dots per inch, the copies
//    answered); without that variable the job fails, saying so. The
//    non-interactive prompts always cancel, so they print nothing.
//
// Call from the UI thread: the GTK dialog is modal.
#pragma once

#include <memory>

#include "norwin/host/print_device.h"
#include "norwin/platform/prompts.h"
#include "norwin/platform/status.h"

namespace norwin::host {

inline constexpr char kPrintToPdfVariable[] = "NORWIN_PRINT_TO_PDF";

// The device for `choice`, made by prompts of `kind` (see above).
[[nodiscard]] Result<std::unique_ptr<PrintDevice>> MakePrintDevice(
    const platform::PrintChoice& choice, platform::PromptsKind kind);

// Shows the print dialog (selection and page numbers disabled) and makes the
// device for the answer; nullptr when the user cancelled. A PrintDeviceChooser.
[[nodiscard]] Result<std::unique_ptr<PrintDevice>> ChoosePrintDevice();

}  // namespace norwin::host
