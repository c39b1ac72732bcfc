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
}

}  // namespace norwin::platform
