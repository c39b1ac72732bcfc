// Memory helpers of Lumo's services (the search engine reads its index
// files with them): raw blocks of bytes, allocated, filled, moved, resized
// and searched.
//
// A block from MemAlloc or MemResize belongs to the caller until it is
// given to MemFree (or MemResize, which may move it). Sizes are limited to
// kMaxMemBlock bytes, as 32-bit sizes limited them. No function here
// throws or shows a message: failures are results (nullptr, nullopt).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace norwin::host {

inline constexpr size_t kMaxMemBlock = 0xFFFFFFFF;

// A new block of `size` bytes, not initialised; nullptr when `size` exceeds
// kMaxMemBlock or memory runs out. A size of 0 gives a block of no usable
// bytes that must be freed like any other.
void* MemAlloc(size_t size);

// Frees a block of MemAlloc or MemResize; nullptr does nothing.
void MemFree(void* block);

// Sets `count` bytes at `dest` to `value`; nothing when `dest` is nullptr.
void MemFill(void* dest, uint8_t value, size_t count);

// Copies `count` bytes from `source` to `dest`; the areas may overlap.
// Copies nothing when either area is absent (nullptr).
void MemMove(void* dest, const void* source, size_t count);

// The block `block` (nullptr: none yet) resized to `size` bytes, its first
// bytes kept; it may have moved. nullptr when `size` exceeds kMaxMemBlock
// or memory runs out: `block` is then untouched and still the caller's.
void* MemResize(void* block, size_t size);

// The offset of the first occurrence of the NUL-terminated byte pattern
// `pattern` (its NUL not included) that lies wholly inside the `size`
// bytes at `range`; nullopt when there is none, when either pointer is
// nullptr or when the pattern is empty.
std::optional<size_t> MemFind(const void* range, size_t size, const char* pattern);

}  // namespace norwin::host
