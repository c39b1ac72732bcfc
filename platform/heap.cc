#include "norwin/platform/heap.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace norwin::platform {

void KeepFreedMemory() {
  // glibc's settings; other C libraries have their own policies, or none.
#if defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD)
  // Set explicitly, the mapping threshold no longer moves with the blocks a
  // program frees; 32 MB is the most glibc allows on 64-bit machines.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
#if defined(M_MXFAST)
  // Without fast bins a small block freed joins its free neighbours at
  // once. With them, the first large request after a pool was freed swept
  // every one of its million small blocks, over memory long out of the
  // cache: a 50,000-question pool took a quarter longer a question.
  mallopt(M_MXFAST, 0);
#endif
}

}  // namespace norwin::platform
