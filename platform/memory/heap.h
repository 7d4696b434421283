#pragma once
// How the process's heap takes memory from the system and gives it back.

namespace netkeep::memory {

// Keeps memory that the program frees for its own later use instead of
// giving it back to the system: the checks fill and free tables of hundreds
// of megabytes one after another, and memory given back comes back as new
// pages, each faulted in and cleared by the system again. The heaps also
// grow in steps of a whole thread's heap, so that large pages, where the
// heap asks for them (restart_with_large_page_heap), cover the worker
// thread's memory too. Called once at the start, before any thread is
// started; has no effect where the heap has no such setting.
void keep_freed_memory();

// Gives the memory that the program has freed and kept back to the system,
// where the heap keeps it (keep_freed_memory): before a large file is
// written, whose pages in the system's file cache then come from memory
// that was in use a moment ago rather than from fresh pages, which cost a
// fault on a virtual machine that has handed its free memory back to the
// host. No effect where the heap has no such call.
void give_back_freed_memory();

#ifndef _WIN32
// Where the system gives a program large pages only where it asks for them
// (Linux with transparent huge pages set to "madvise") and the heap would
// not ask, runs the program anew with glibc's setting that makes its heap
// ask (glibc.malloc.hugetlb=1 in GLIBC_TUNABLES, which glibc reads only as
// a program starts): the same executable, `argv` (main's) and environment
// with that setting added, in the same process. It then does not return.
// Returns at once where the setting is there already, where it would change
// nothing (no such glibc, another allocator, large pages always or never,
// a program run with raised privileges, which glibc keeps from settings),
// and where the program cannot be run anew, with the environment as it was.
// A page fault costs about as much for a large page as for a small one,
// and the checks fill a gigabyte at a million sites. Called first in main,
// before any thread is started or any file opened.
void restart_with_large_page_heap(char** argv);
#endif

}  // namespace netkeep::memory
