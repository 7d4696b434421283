// libFuzzer entry point of the differential target of table_answers (see
// table_answers_target.h): a difference from SQLite aborts with its table.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/table_answers_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string finding = netkeep::fuzz::table_answers_target(data, size);
  if (!finding.empty()) {
    std::fputs(finding.c_str(), stderr);
    std::abort();
  }
  return 0;
}
