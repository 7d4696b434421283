#pragma once
// The ids that numbered registry keys carry in their names, converted as
// the C library's wcstoll and (32-bit) wcstol convert them: leading blanks
// and a sign are accepted, conversion stops at the first non-digit, a name
// without leading digits gives 0, and values out of range saturate.

#include <cstdint>
#include <string>

namespace netkeep {

// Satellite and site ids, and the allocation space and inband ids of their
// values.
std::int64_t key_number64(const std::wstring& name);

// Antenna and converter ids: converted into 32 bits, saturating at the
// 32-bit limits, then widened with their sign.
std::int64_t key_number32(const std::wstring& name);

}  // namespace netkeep
