#include "norwin/host/memory.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace norwin::host {

void* MemAlloc(size_t size) {
  if (size > kMaxMemBlock) return nullptr;
  // malloc(0) may give nullptr, which callers would take for a failure.
  return std::malloc(size == 0 ? 1 : size);
}

void MemFree(void* block) { std::free(block); }

void MemFill(void* dest, uint8_t value, size_t count) {
  if (dest && count) std::memset(dest, value, count);
}

void MemMove(void* dest, const void* source, size_t count) {
  if (dest && source && count) std::memmove(dest, source, count);
}

void* MemResize(void* block, size_t size) {
  if (size > kMaxMemBlock) return nullptr;
  return std::realloc(block, size == 0 ? 1 : size);
}

std::optional<size_t> MemFind(const void* range, size_t size, const char* pattern) {
  if (!range || !pattern || !*pattern) return std::nullopt;
  const std::string_view haystack(static_cast<const char*>(range), size);
  const size_t found = haystack.find(pattern);
  if (found == std::string_view::npos) return std::nullopt;
  return found;
}

}  // namespace norwin::host
