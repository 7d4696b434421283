#pragma once
// How the process's heap treats memory that the program frees.

namespace netkeep::memory {

// Keeps memory that the program frees for its own later use instead of
// giving it back to the system: the checks fill and free tables of hundreds
// of megabytes one after another, and memory given back comes back as new
// pages, each faulted in and cleared by the system again. Called once at
// the start, before any thread is started; has no effect where the heap
// has no such setting.
void keep_freed_memory();

}  // namespace netkeep::memory
