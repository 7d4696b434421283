#include <sys/mman.h>

#include <cstdlib>

#include "platform/memory/large_pages.h"

namespace netkeep::memory {
namespace {

// The size of a large page on the systems that have transparent ones
// (x86-64 and most others); the storage starts at a multiple of it, so that
// whole large pages fit.
constexpr std::size_t large_page = std::size_t{2} << 20;

}  // namespace

void* allocate_large(std::size_t bytes) {
  const std::size_t rounded = (bytes + large_page - 1) / large_page * large_page;
  if (rounded < bytes) throw std::bad_alloc();
  void* storage = std::aligned_alloc(large_page, rounded);
  if (storage == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  // A request: refused (no transparent huge pages, or "never"), the pages
  // stay small and the storage works the same.
  ::madvise(storage, rounded, MADV_HUGEPAGE);
#endif
  return storage;
}

void release_large(void* storage, std::size_t) noexcept { std::free(storage); }

}  // namespace netkeep::memory
