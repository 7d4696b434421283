// libFuzzer entry point of the configuration target (see configuration_target.h).

#include <cstddef>
#include <cstdint>

#include "fuzz/configuration_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  netkeep::fuzz::configuration_target(data, size);
  return 0;
}
