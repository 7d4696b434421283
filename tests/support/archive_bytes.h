#pragma once
// Building blocks for archives written by hand in tests: little-endian
// integers and length-prefixed UTF-16LE names.

#include <cstdint>
#include <string>

#include "platform/text/unicode.h"

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

// A REG_SZ value's data: UTF-16LE with its terminating null character.
inline std::string sz_data(const std::wstring& text) { return text::to_utf16le(text) + std::string(2, '\0'); }

}  // namespace netkeep::testing
