#include "platform/memory/heap.h"

#include <climits>

#ifdef __GLIBC__
#include <malloc.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
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
  // A heap grows by at least this much at a time (virtual memory only,
  // until touched). It is the size of a thread's heap on 64-bit systems,
  // which glibc's large-page setting then asks large pages for as a whole,
  // where it otherwise asks only for the heap's first piece and the worker
  // thread's memory would come in small pages.
  ::mallopt(M_TOP_PAD, 64 << 20);
#endif
}

void give_back_freed_memory() {
#ifdef __GLIBC__
  ::malloc_trim(0);
#endif
}

// The sanitizers bring their own allocators, which glibc's settings do not
// reach.
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 35) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {

constexpr char tunables_variable[] = "GLIBC_TUNABLES";
constexpr char large_page_tunable[] = "glibc.malloc.hugetlb";

// True when the system gives transparent huge pages to memory that asks
// for them, and only to that.
bool large_pages_on_request() {
  std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string line;
  return std::getline(setting, line) && line.find("[madvise]") != std::string::npos;
}

}  // namespace

void restart_with_large_page_heap(char** argv) {
  std::optional<std::string> tunables;
  if (const char* value = std::getenv(tunables_variable)) tunables = value;
  if (tunables && tunables->find(large_page_tunable) != std::string::npos) return;
  if (::getauxval(AT_SECURE) != 0 || !large_pages_on_request()) return;

  const std::string setting = std::string(large_page_tunable) + "=1";
  const std::string added = tunables && !tunables->empty() ? *tunables + ":" + setting : setting;
  if (::setenv(tunables_variable, added.c_str(), 1) != 0) return;
  ::execv("/proc/self/exe", argv);
  if (tunables) {
    ::setenv(tunables_variable, tunables->c_str(), 1);
  } else {
    ::unsetenv(tunables_variable);
  }
}
#else
void restart_with_large_page_heap(char**) {}
#endif

}  // namespace netkeep::memory
