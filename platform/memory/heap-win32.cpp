#include "platform/memory/heap.h"

namespace netkeep::memory {

// The Windows heap decides for itself when to give pages back.
void keep_freed_memory() {}
void give_back_freed_memory() {}

}  // namespace netkeep::memory
