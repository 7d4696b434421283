#pragma once
// Win32 failures as exceptions. Every registry operation of the program
// reports a failing call as a win32::error carrying the call's result code;
// its message is the system's text for that code.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace win32 {

// Result codes that the program and the file-backed registry use by name.
inline constexpr std::uint32_t error_success = 0;
inline constexpr std::uint32_t error_file_not_found = 2;
inline constexpr std::uint32_t error_access_denied = 5;
inline constexpr std::uint32_t error_invalid_handle = 6;
inline constexpr std::uint32_t error_invalid_parameter = 87;
inline constexpr std::uint32_t error_more_data = 234;
inline constexpr std::uint32_t error_no_more_items = 259;
inline constexpr std::uint32_t error_key_deleted = 1018;

// The system's message for a code: FormatMessageA's text with a trailing
// carriage return and line feed cut, or "unknown error" when the system has
// no text for it. Where there is no system message table, the texts of the
// codes above that the file-backed registry returns, else "unknown error".
std::string system_message(std::uint32_t code);

class error : public std::runtime_error {
 public:
  explicit error(std::uint32_t code) : std::runtime_error(system_message(code)), code(code) {}

  // The Win32 result code of the failing call.
  std::uint32_t code;
};

// Throws win32::error(result) unless result is error_success.
inline void check(std::uint32_t result) {
  if (result != error_success) throw error(result);
}

}  // namespace win32
