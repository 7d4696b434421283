#include "platform/memory/heap.h"

#include <climits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace netkeep::memory {

void keep_freed_memory() {
#ifdef __GLIBC__
  // glibc serves pieces from 128 KiB up (a bound it raises as they are
  // freed) by mmap, unmapped again when freed, and gives the free top of a
  // heap back once it exceeds the trim threshold. With both bounds out of
  // reach, pieces come from the heaps, which keep their pages; a piece too
  // large for a thread's heap is still mapped on its own.
  ::mallopt(M_MMAP_THRESHOLD, INT_MAX);
  ::mallopt(M_TRIM_THRESHOLD, INT_MAX);
#endif
}

}  // namespace netkeep::memory
