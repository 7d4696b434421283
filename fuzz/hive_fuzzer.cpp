// libFuzzer entry point of the hive target (see hive_target.h).

#include <cstddef>
#include <cstdint>

#include "fuzz/hive_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  netkeep::fuzz::hive_target(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
