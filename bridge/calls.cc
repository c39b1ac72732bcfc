#include "norwin/bridge/calls.h"

namespace norwin::bridge {

std::optional<CallSpec> FindCall(int32_t op) {
  for (const CallSpec& call : kCalls) {
    if (static_cast<int32_t>(call.op) == op) return call;
  }
  return std::nullopt;
}

}  // namespace norwin::bridge
