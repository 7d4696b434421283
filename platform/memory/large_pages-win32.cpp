#include "platform/memory/large_pages.h"

namespace netkeep::memory {

// Windows gives large pages only to accounts with the right to lock pages
// in memory, which operators' accounts do not have: plain heap memory.
void* allocate_large(std::size_t bytes) { return ::operator new(bytes); }

void release_large(void* storage, std::size_t) noexcept { ::operator delete(storage); }

}  // namespace netkeep::memory
