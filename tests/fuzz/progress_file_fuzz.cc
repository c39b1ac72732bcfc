// libFuzzer target: any bytes as a progress file, with a cookie name and a
// value taken from the input's first bytes; every operation on them must
// keep the rules of the format (see host/support/progress_format_check.h).
// Run it with scripts/fuzz [SECONDS] NAME; its corpus is corpus/NAME/.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/support/progress_format_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string failure = norwin::testing::CheckProgressFormat(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (!failure.empty()) {
    std::fprintf(stderr, "progress file rule broken: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
