#include "platform/win32/registry_names.h"

#include <array>
#include <cstdint>
#include <memory>

#include "platform/text/unicode.h"

namespace win32::registry {
namespace {

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The upper case of every basic-plane code unit, built once from the ranges
// of registry_upcase_ranges.inc.
using upper_table = std::array<char16_t, 0x10000>;

struct upcase_range {
  char16_t first;
  char16_t last;
  std::uint8_t stride;
  std::int32_t delta;
};

constexpr upcase_range upcase_ranges[] = {
#include "platform/win32/registry_upcase_ranges.inc"
};

std::unique_ptr<upper_table> build_upper_table() {
  auto table = std::make_unique<upper_table>();
  for (std::size_t c = 0; c < table->size(); ++c) (*table)[c] = static_cast<char16_t>(c);
  for (const upcase_range& range : upcase_ranges) {
    for (std::uint32_t c = range.first; c <= range.last; c += range.stride) {
      (*table)[c] = static_cast<char16_t>(static_cast<std::int32_t>(c) + range.delta);
    }
  }
  return table;
}

const upper_table& upper_case() {
  static const std::unique_ptr<upper_table> table = build_upper_table();
  return *table;
}

}  // namespace

std::u16string fold_name(std::wstring_view name) {
  std::u16string folded;
  fold_name(name, folded);
  return folded;
}

void fold_name(std::wstring_view name, std::u16string& folded) {
  const upper_table& upper = upper_case();
  folded.resize(name.size());
  std::size_t at = 0;
  for (wchar_t w : name) {
    const auto c = static_cast<char32_t>(w);
    if (c <= 0xFFFF) {
      folded[at++] = upper[c];
    } else {
      // A surrogate pair, unchanged.
      folded.resize(folded.size() + 1);
      folded[at++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      folded[at++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
}

bool folds_to(std::wstring_view name, std::u16string_view folded) {
  if (name.size() != folded.size()) return fold_name(name) == folded;  // surrogate pairs, or unequal
  const upper_table& upper = upper_case();
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<char32_t>(name[i]);
    if (c > 0xFFFF) return fold_name(name) == folded;
    if (upper[c] != folded[i]) return false;
  }
  return true;
}

bool is_storable_name(std::wstring_view name) {
  for (wchar_t w : name) {
    const auto c = static_cast<char32_t>(w);
    if (c >= 0x20 && c < 0xD800) continue;  // nearly every character
    if (c == U'\r' || c == U'\n' || c > 0x10FFFF) return false;
    if (sizeof(wchar_t) > 2 && is_surrogate(c)) return false;
  }
  if constexpr (sizeof(wchar_t) == 2) {
    // Where wchar_t is UTF-16, surrogates must come in pairs.
    const std::u16string units = netkeep::text::to_utf16(name);
    for (std::size_t i = 0; i < units.size(); ++i) {
      const char16_t u = units[i];
      if (u >= 0xDC00 && u <= 0xDFFF) return false;
      if (u >= 0xD800 && u <= 0xDBFF) {
        if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
        ++i;
      }
    }
  }
  return true;
}

std::wstring_view c_string_view(const std::wstring& name) {
  return std::wstring_view(name.c_str());
}

}  // namespace win32::registry
