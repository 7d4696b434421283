#pragma once
// The contents of a folder tree, for comparing data directories.

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/test_installation.h"

namespace netkeep::testing {

// Every entry below `root` by relative path with '/': a file's bytes, or
// "<folder>" for a folder. Empty when `root` does not exist.
inline std::map<std::string, std::string> folder_snapshot(const std::filesystem::path& root) {
  std::map<std::string, std::string> found;
  if (!std::filesystem::exists(root)) return found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string relative = std::filesystem::relative(entry.path(), root).generic_string();
    found[relative] = entry.is_directory() ? "<folder>" : read_file(entry.path());
  }
  return found;
}

}  // namespace netkeep::testing
