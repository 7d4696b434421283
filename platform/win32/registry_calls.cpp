#include "platform/win32/registry_calls.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace win32::registry {
namespace {

std::atomic<std::uint64_t> calls{0};

// Writes the count at exit to the file that NETKEEP_REGISTRY_CALLS named at
// start; a file that cannot be written is left alone, as this only serves
// measurements.
class call_report {
 public:
  call_report() {
    if (const char* path = std::getenv("NETKEEP_REGISTRY_CALLS")) path_ = path;
  }
  ~call_report() {
    if (path_.empty()) return;
    if (std::FILE* file = std::fopen(path_.c_str(), "w")) {
      std::fprintf(file, "%llu\n", static_cast<unsigned long long>(call_count()));
      std::fclose(file);
    }
  }
  call_report(const call_report&) = delete;
  call_report& operator=(const call_report&) = delete;

 private:
  std::string path_;
};

call_report report;

}  // namespace

void count_call() noexcept { calls.fetch_add(1, std::memory_order_relaxed); }

std::uint64_t call_count() noexcept { return calls.load(std::memory_order_relaxed); }

}  // namespace win32::registry
