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

inline void archive_target(std::string_view bytes) {
  std::istringstream in{std::string(bytes)};
  archive::archive_index index;
  try {
    index = archive::read_archive_index(in);
  } catch (const std::runtime_error&) {
    return;
  }
  // Keys are entered and left in pairs.
  std::size_t depth = 0;
  for (const archive::registry_step& step : index.registry) {
    if (step.what == archive::registry_step::kind::enter_key) ++depth;
    if (step.what == archive::registry_step::kind::leave_key && depth-- == 0) std::abort();
  }
  if (depth != 0) std::abort();
  // Every file stays below the data directory and lies wholly in the archive.
  for (const archive::file_entry& file : index.files) {
    if (file.name.empty() || !archive::is_safe_file_name(file.name)) std::abort();
    if (file.offset < 0 || static_cast<std::size_t>(file.offset) + file.size > bytes.size()) std::abort();
  }
}

}  // namespace netkeep::fuzz
