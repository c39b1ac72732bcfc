#include "norwin/host/memory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace norwin::host {
namespace {

TEST(MemoryTest, AllocatesFillsResizesAndFrees) {
  auto* block = static_cast<uint8_t*>(MemAlloc(8));
  ASSERT_NE(block, nullptr);
  MemFill(block, 0xAB, 8);
  MemFill(nullptr, 0, 8);  // absent: nothing happens
  for (int i = 0; i < 8; ++i) EXPECT_EQ(block[i], 0xAB);

  // Growing keeps the first bytes; shrinking keeps what fits.
  block = static_cast<uint8_t*>(MemResize(block, 4096));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(block[i], 0xAB);
  block = static_cast<uint8_t*>(MemResize(block, 2));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[1], 0xAB);

  // Beyond 32-bit sizes nothing is allocated and the old block stays.
  EXPECT_EQ(MemResize(block, kMaxMemBlock + 1), nullptr);
  EXPECT_EQ(block[0], 0xAB);
  EXPECT_EQ(MemAlloc(kMaxMemBlock + 1), nullptr);
  MemFree(block);

  // Size 0 is a real block; nullptr resizes like an allocation.
  void* empty = MemAlloc(0);
  EXPECT_NE(empty, nullptr);
  MemFree(empty);
  void* fresh = MemResize(nullptr, 16);
  EXPECT_NE(fresh, nullptr);
  MemFree(fresh);
  MemFree(nullptr);
}

TEST(MemoryTest, MovesOverlappingAreasAndNothingWhenOneIsAbsent) {
  char text[] = "abcdefgh";
  MemMove(text + 2, text, 5);  // forwards over itself
  EXPECT_STREQ(text, "ababcdeh");
  MemMove(text, text + 3, 4);  // backwards over itself
  EXPECT_STREQ(text, "bcdecdeh");
  MemMove(nullptr, text, 4);
  MemMove(text, nullptr, 4);
  EXPECT_STREQ(text, "bcdecdeh");
}

TEST(MemoryTest, FindsPatternsWhollyInsideTheRange) {
  // A two-byte pattern at positions 2 and 3 of a four-byte range is found
  // at 2; when its first byte is the range's last byte, the rest lies
  // outside and nothing is found.
  const char four[] = {'q', 'r', 'a', 'b', 'x'};
  EXPECT_EQ(MemFind(four, 4, "ab"), std::optional<size_t>(2));
  EXPECT_EQ(MemFind(four, 3, "ab"), std::nullopt);
  const char bytes[] = {'x', 'a', 'b', 'c', '\0', 'a', 'b'};
  EXPECT_EQ(MemFind(bytes, sizeof bytes, "ab"), std::optional<size_t>(1));
  // NUL bytes in the range are ordinary bytes; the search runs past them.
  EXPECT_EQ(MemFind(bytes + 2, 5, "ab"), std::optional<size_t>(3));
  EXPECT_EQ(MemFind(bytes, sizeof bytes, "abd"), std::nullopt);
  EXPECT_EQ(MemFind(bytes, sizeof bytes, ""), std::nullopt);
  EXPECT_EQ(MemFind(nullptr, 4, "a"), std::nullopt);
  EXPECT_EQ(MemFind(bytes, 4, nullptr), std::nullopt);
  EXPECT_EQ(MemFind(bytes, 0, "x"), std::nullopt);
}

}  // namespace
}  // namespace norwin::host
