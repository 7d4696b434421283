#pragma once
// Fuzz target: the hive file reader. Refusals are std::runtime_error. A hive
// that the reader accepts must be written by the writer as text that reads
// back to the same hive, since every write-back of a command goes through
// that round trip. The file read a few bytes at a time, so that lines, line
// ends, byte order marks and UTF-16 units fall across the pieces, must give
// the same hive or the same refusal as the file read at once.

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/win32/registry_hive_format.h"

namespace netkeep::fuzz {

// The hive text of the file read in pieces of 1 to 7 bytes, or its refusal.
inline std::string read_in_pieces(std::string_view bytes) {
  std::size_t piece = bytes.size();
  const win32::registry::hive_reader read = [&bytes, &piece](char* buffer, std::size_t size) {
    piece = piece % 7 + 1;
    const std::size_t taken = bytes.substr(0, std::min(piece, size)).copy(buffer, size);
    bytes.remove_prefix(taken);
    return taken;
  };
  try {
    return win32::registry::format_hive(*win32::registry::parse_hive(read, "fuzz.reg"));
  } catch (const std::runtime_error& refusal) {
    return std::string("refused: ") + refusal.what();
  }
}

inline void hive_target(std::string_view bytes) {
  std::unique_ptr<win32::registry::key_node> root;
  try {
    root = win32::registry::parse_hive(bytes, "fuzz.reg");
  } catch (const std::runtime_error& refusal) {
    if (read_in_pieces(bytes) != std::string("refused: ") + refusal.what()) std::abort();
    return;
  }
  const std::string written = win32::registry::format_hive(*root);
  if (read_in_pieces(bytes) != written) std::abort();
  std::unique_ptr<win32::registry::key_node> again;
  try {
    again = win32::registry::parse_hive(written, "written.reg");
  } catch (const std::runtime_error&) {
    std::abort();  // the writer wrote what the reader refuses
  }
  if (win32::registry::format_hive(*again) != written) std::abort();
}

}  // namespace netkeep::fuzz
