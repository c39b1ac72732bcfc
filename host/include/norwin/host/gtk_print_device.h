// A print device that sends the document to a printer through GTK's print
// system (a CUPS queue, or GTK's "Print to File"), for the printer, settings
// and page setup the user chose in the GTK print dialog.
//
// Device units are the resolution of the print settings (600 dots per inch
// when they name none) and the printable area is the page setup's paper less
// its margins. The device draws its copies itself, so the job asks the printer
// for one. EndDocument sends the job and waits (up to a minute, running the
// GTK main context) until the print system has taken it.
//
// Call on the thread that runs GTK, after gtk_init.
#pragma once

#include <memory>

#include "norwin/host/print_device.h"
#include "norwin/platform/prompts.h"
#include "norwin/platform/status.h"

namespace norwin::host {

// Fails, saying why, when the chosen printer is not (or no longer) known to the
// print system or the page setup cannot be read. An empty printer name means
// the default printer.
[[nodiscard]] Result<std::unique_ptr<PrintDevice>> OpenGtkPrintDevice(
    const platform::PrintChoice& choice);

}  // namespace norwin::host
