#include "checks/configuration/key_numbers.h"

#include <algorithm>
#include <cwchar>
#include <limits>

namespace netkeep {

std::int64_t key_number64(const std::wstring& name) {
  return static_cast<std::int64_t>(std::wcstoll(name.c_str(), nullptr, 10));
}

std::int64_t key_number32(const std::wstring& name) {
  // The product's `long` is 32 bits wide; saturating the 64-bit conversion
  // at the 32-bit limits gives what its wcstol gives.
  const std::int64_t value = key_number64(name);
  return std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max());
}

}  // namespace netkeep
