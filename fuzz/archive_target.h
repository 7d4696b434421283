#pragma once
// Fuzz target: the whole validation that import runs over an archive before
// it writes anything. Refusals are std::runtime_error; anything else (a
// crash, a sanitizer report, a hang, an accepted archive that breaks the
// index's promises) is a finding.

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "archive/archive_index.h"

namespace netkeep::fuzz {

// Counts the steps and the keys entered and not yet left; a key left that
// was never entered is a finding.
class key_balance final : public archive::registry_visitor {
 public:
  void set_value(const std::wstring&, std::uint32_t, const std::string&) override { ++steps; }
  void enter_key(const std::wstring&) override {
    ++steps;
    ++depth;
  }
  void leave_key() override {
    ++steps;
    if (depth-- == 0) std::abort();
  }

  std::size_t steps = 0;
  std::size_t depth = 0;
};

inline void archive_target(std::string_view bytes) {
  std::istringstream in{std::string(bytes)};
  archive::archive_index index;
  key_balance first_read;
  try {
    index = archive::read_archive_index(in, &first_read);
  } catch (const std::runtime_error&) {
    return;
  }
  // Keys are entered and left in pairs, and a second read of the registry
  // part sees them again.
  if (first_read.depth != 0 || index.registry_empty != (first_read.steps == 0)) std::abort();
  key_balance second_read;
  archive::read_registry_part(in, index, second_read);
  if (second_read.depth != 0 || second_read.steps != first_read.steps) std::abort();
  // Every file stays below the data directory and lies wholly in the archive.
  for (const archive::file_entry& file : index.files) {
    if (file.name.empty() || !archive::is_safe_file_name(file.name)) std::abort();
    if (file.offset < 0 || static_cast<std::size_t>(file.offset) + file.size > bytes.size()) std::abort();
  }
}

}  // namespace netkeep::fuzz
