// The five operations of norwin-reg, run against the machine's registry with
// the output of the Windows `reg` command.
#pragma once

#include "command_line.h"
#include "console.h"

namespace norwin::reg {

// Carries out a well-formed request (not a help request) and returns the exit
// status: 0 on success or when the user answered No, 1 on any failure, after
// writing "ERROR: ..." to the console's error stream. A request that fails
// changes nothing.
int RunRequest(const Request& request, const Console& console);

}  // namespace norwin::reg
