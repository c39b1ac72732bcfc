#include "norwin/platform/heap.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <memory>
#include <vector>

namespace norwin::platform {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnAllocator = true;
#elif defined(__has_feature)
constexpr bool kOwnAllocator = __has_feature(address_sanitizer);
#else
constexpr bool kOwnAllocator = false;
#endif

char* volatile escaped = nullptr;

// A large record set freed and loaded again: the second load must find the
// first one's memory still in the heap, not fault it in afresh. 96 MB is
// more than glibc keeps on its own (64 MB at most).
TEST(KeepFreedMemoryTest, FreedLargeRecordsStayForTheNextLoad) {
  if (kOwnAllocator) GTEST_SKIP() << "the sanitizers' allocator keeps its own memory";
  KeepFreedMemory();
  // Blocks of a few megabytes (a load's row buffers) come from the heap,
  // where they are reused, not mapped afresh each time.
  const size_t mapped = mallinfo2().hblkhd;
  auto buffer = std::make_unique_for_overwrite<char[]>(8 << 20);
  escaped = buffer.get();  // the compiler may not leave the block out
  EXPECT_EQ(mallinfo2().hblkhd, mapped);
  buffer.reset();

  constexpr size_t kBlocks = 96 * 1024;
  constexpr size_t kBlock = 1000;  // heap blocks, as records' strings are
  std::vector<std::unique_ptr<char[]>> records(kBlocks);
  for (auto& record : records) record = std::make_unique_for_overwrite<char[]>(kBlock);
  const size_t loaded = mallinfo2().arena;
  ASSERT_GE(loaded, kBlocks * kBlock);
  records.clear();
  EXPECT_GE(mallinfo2().arena + (1 << 20), loaded) << "the freed records went back to the system";

  // Small blocks freed are joined with their neighbours at once, not kept
  // in fast bins for a later large request to sweep.
  std::vector<std::unique_ptr<char[]>> strings(1000);
  for (auto& text : strings) text = std::make_unique_for_overwrite<char[]>(24);
  strings.clear();
  EXPECT_EQ(mallinfo2().fsmblks, 0u);
}

}  // namespace
}  // namespace norwin::platform
