// libFuzzer entry point of the archive target (see archive_target.h).

#include <cstddef>
#include <cstdint>

#include "fuzz/archive_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  netkeep::fuzz::archive_target(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
