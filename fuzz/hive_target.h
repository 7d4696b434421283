#pragma once
// Fuzz target: the hive file reader. Refusals are std::runtime_error. A hive
// that the reader accepts must be written by the writer as text that reads
// back to the same hive, since every write-back of a command goes through
// that round trip.

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/win32/registry_hive_format.h"

namespace netkeep::fuzz {

inline void hive_target(std::string_view bytes) {
  std::unique_ptr<win32::registry::key_node> root;
  try {
    root = win32::registry::parse_hive(bytes, "fuzz.reg");
  } catch (const std::runtime_error&) {
    return;
  }
  const std::string written = win32::registry::format_hive(*root);
  std::unique_ptr<win32::registry::key_node> again;
  try {
    again = win32::registry::parse_hive(written, "written.reg");
  } catch (const std::runtime_error&) {
    std::abort();  // the writer wrote what the reader refuses
  }
  if (win32::registry::format_hive(*again) != written) std::abort();
}

}  // namespace netkeep::fuzz
