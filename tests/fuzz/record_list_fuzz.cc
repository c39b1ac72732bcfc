// libFuzzer target for the list record reader: whatever bytes it takes, the
// DOM takes too and reads the same records from.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "datalayer/support/record_list_reference.h"
#include "norwin/datalayer/record_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace nd = norwin::datalayer;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<nd::RecordList> list = nd::ReadRecordList(bytes, nd::testing::kRosterShape);
  if (!list) return 0;
  const auto dom = nd::testing::DomRecordList(bytes, nd::testing::kRosterShape);
  if (!dom || nd::testing::Flatten(*list) != *dom) __builtin_trap();
  return 0;
}
