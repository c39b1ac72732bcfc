#include "norwin/bridge/calls.h"

namespace norwin::bridge {

std::optional<CallSpec> FindCall(int32_t op) {
  for (const CallSpec& spec : kCalls) {
    if (static_cast<int32_t>(spec.op) == op) return spec;
  }
  return std::nullopt;
}

}  // namespace norwin::bridge
