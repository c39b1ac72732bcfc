// Test helper: the number a page's `Err.Number` would show for what a call
// raised, or 0 when it raised nothing.
#pragma once

#include <string>
#include <utility>

#include "norwin/automation/error.h"

namespace norwin::automation::testing {

template <typename F>
int32_t ErrNumberOf(F&& call) {
  try {
    std::forward<F>(call)();
  } catch (const AutomationError& e) {
    return ErrNumberFromHResult(e.number);
  }
  return 0;
}

// The description of what a call raised; "" when it raised nothing.
template <typename F>
std::string ErrDescriptionOf(F&& call) {
  try {
    std::forward<F>(call)();
  } catch (const AutomationError& e) {
    return e.description;
  }
  return {};
}

}  // namespace norwin::automation::testing
