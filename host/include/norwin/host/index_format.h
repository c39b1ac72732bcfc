// The layout of a course's full-text index: three files, all integers
// little-endian, all text Windows-1252.
//
// - Word file: records of kWordRecordSize bytes, each a NUL-terminated word
//   (at most kMaxWordLength characters) padded with NULs, sorted by
//   CompareIndexWords (word_order.h). Word count = file size / 20.
// - Vector file: one record per word, in word-file order, of
//   VectorWordsFor(N) 32-bit words. Page i is listed for the word when bit
//   0x80000000 >> (i % 32) of word i / 32 is set.
// - Title file: records of kTitleRecordSize bytes, record i for page i; the
//   title (NUL-terminated) in the first kTitleFieldSize bytes, the page's
//   path on the course drive without the drive ("\lesson1\intro.htm",
//   NUL-terminated) in the second. N = file size / 512; a trailing partial
//   record is ignored.
//
// The reader (search.h) and the writer (index_builder.h) share these names.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norwin::host {

inline constexpr size_t kWordRecordSize = 20;
inline constexpr size_t kMaxWordLength = kWordRecordSize - 1;
inline constexpr size_t kTitleRecordSize = 512;
inline constexpr size_t kTitleFieldSize = 256;
// Longest title or path that fits its field with its NUL.
inline constexpr size_t kMaxTitleFieldLength = kTitleFieldSize - 1;

// 32-bit words in one vector record for `pages` pages: pages / 32 + 1, one
// more than needed when `pages` is a multiple of 32, as the format has it.
constexpr uint64_t VectorWordsFor(uint64_t pages) { return pages / 32 + 1; }

// The bit of page `page` within its 32-bit word (most significant first).
constexpr uint32_t PageBit(uint64_t page) { return 0x80000000u >> (page % 32); }

}  // namespace norwin::host
