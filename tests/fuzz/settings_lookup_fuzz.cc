// libFuzzer target: any bytes as a configuration document, looked up with
// keys and capacities taken from the input's first bytes. A found value
// must be a piece of one line of the document, within its capacity.
// Run it with scripts/fuzz [SECONDS] NAME; its corpus is corpus/NAME/.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "norwin/host/config_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kNames[] = {"run",       "cx",       "cy", "title",
                                       "sessionID", "redirKey", "",   "="};
  if (size < 2) return 0;
  const std::string_view name = kNames[data[0] % (sizeof kNames / sizeof kNames[0])];
  const size_t capacity = data[1];
  const std::string_view document(reinterpret_cast<const char*>(data + 2), size - 2);

  std::string value;
  if (norwin::host::FindConfigText(name, value, capacity, document)) {
    if (value.size() >= (capacity == 0 ? 1 : capacity)) std::abort();
    if (value.find('\n') != std::string::npos) std::abort();
    if (document.find(value) == std::string_view::npos) std::abort();
  } else if (!value.empty()) {
    std::abort();
  }
  const int32_t number = norwin::host::FindConfigNumber(name, 800, document);
  if (document.find(name) == std::string_view::npos && number != 800) std::abort();
  return 0;
}
