#pragma once
// Building blocks for archives written by hand in tests: little-endian
// integers and length-prefixed UTF-16LE names.

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/text/unicode.h"
#include "tests/support/target.h"

namespace netkeep::testing {

inline std::string u16le(unsigned n) { return {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF)}; }
inline std::string u32le(std::uint32_t n) { return u16le(n & 0xFFFF) + u16le(n >> 16); }

// An archive_string: the length in UTF-16 code units, then the units.
inline std::string archive_name(const std::wstring& name) {
  const std::string units = text::to_utf16le(name);
  return u16le(static_cast<unsigned>(units.size() / 2)) + units;
}

// The end of a value, key or file list.
inline std::string end_of_list() { return u16le(0); }

inline std::string archive_header(std::uint32_t version = 2) { return "ORBDBCPP" + u32le(version); }

inline std::string value_record(const std::wstring& name, std::uint32_t type, const std::string& data) {
  return archive_name(name) + u32le(type) + u32le(static_cast<std::uint32_t>(data.size())) + data;
}

inline std::string file_record(const std::wstring& name, const std::string& contents) {
  return archive_name(name) + u32le(static_cast<std::uint32_t>(contents.size())) + contents;
}

// One value of a key's value list.
struct archive_value {
  std::wstring name;
  std::uint32_t type;
  std::string data;
};

// The records of one key's values in the order in which the registry of the
// program under test enumerates them: as given (the order of creation) on
// the file-backed hive, as on Windows; sorted by name ignoring case under
// Wine, whose registry keeps every key's values in that order.
inline std::string value_records(std::vector<archive_value> values) {
  if (windows_target()) {
    std::stable_sort(values.begin(), values.end(), [](const archive_value& a, const archive_value& b) {
      return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                          [](wchar_t x, wchar_t y) { return std::towlower(x) < std::towlower(y); });
    });
  }
  std::string records;
  for (const archive_value& value : values) records += value_record(value.name, value.type, value.data);
  return records;
}

// A REG_SZ value's data: UTF-16LE with its terminating null character.
inline std::string sz_data(const std::wstring& text) { return text::to_utf16le(text) + std::string(2, '\0'); }

}  // namespace netkeep::testing
