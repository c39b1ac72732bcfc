// libFuzzer target: any bytes as a .reg file. A file either fails with a
// message naming its line, or imports into a registry whose export reads
// back to the same edits and imports again to the same keys.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "norwin/platform/reg_file.h"
#include "norwin/platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace norwin::platform;
  using norwin::Result;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Result<std::vector<RegEdit>> edits = ParseRegFile(bytes);
  if (!edits.ok()) {
    if (edits.message().empty()) abort();
    return 0;
  }
  // A fresh registry in memory for each input.
  Result<std::unique_ptr<Registry>> registry = Registry::Open(":memory:");
  if (!registry.ok()) abort();
  if (!(*registry)->Apply(*edits).ok()) return 0;  // refused whole, e.g. a value on a deleted key

  for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                           "HKEY_USERS", "HKEY_PERFORMANCE_DATA"}) {
    Result<std::vector<RegKeyContents>> tree = (*registry)->ReadTree(root);
    if (!tree.ok()) abort();
    const std::string exported = WriteRegFile(*tree);
    Result<std::vector<RegEdit>> again = ParseRegFile(exported);
    if (!again.ok()) abort();
    Result<std::unique_ptr<Registry>> copy = Registry::Open(":memory:");
    if (!copy.ok() || !(*copy)->Apply(*again).ok()) abort();
    Result<std::vector<RegKeyContents>> copied = (*copy)->ReadTree(root);
    if (!copied.ok() || *copied != *tree) abort();
  }
  return 0;
}
