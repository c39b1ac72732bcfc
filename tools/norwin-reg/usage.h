// The texts that "norwin-reg /?" and "norwin-reg OPERATION /?" print.
#pragma once

#include <string_view>

#include "command_line.h"

namespace norwin::reg {

// The usage of one operation, or of the program for Operation::kNone.
std::string_view Usage(Operation operation);

}  // namespace norwin::reg
