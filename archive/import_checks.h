#pragma once
// The checks that import makes before its first change, so that an archive
// that the registry or the file system would refuse half-way changes
// nothing: names and depths that the registry refuses, file names that the
// file system refuses only when a file is renamed into place.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_index.h"

namespace netkeep::archive {

// The checks of the registry part, made on each step as read_archive_index
// reads it (pass it as the visitor). The first refusal is kept and thrown by
// throw_refusal after the read, so that a damaged record anywhere in the
// archive is reported before it, as when the whole archive is read first:
// std::runtime_error("invalid registry name in archive: <name>") for a key
// or value name that the registry refuses (see
// win32::registry::key_path_length and is_valid_value_name), and "registry
// key nested too deeply in archive: <key name>" for a key that would lie
// deeper than win32::registry::max_key_depth, the key that the registry part
// is restored into having `base_depth` names on its path
// (HKEY_LOCAL_MACHINE's included).
class registry_part_check final : public registry_visitor {
 public:
  explicit registry_part_check(std::size_t base_depth) : depths_{base_depth} {}

  void set_value(const std::wstring& name, std::uint32_t type, const std::string& data) override;
  void enter_key(const std::wstring& name) override;
  void leave_key() override;

  // Throws the first refusal, if any.
  void throw_refusal() const;

 private:
  void keep_refusal(const char* what, const std::wstring& name);

  std::vector<std::size_t> depths_;  // of each entered key, innermost last
  std::string refusal_;              // the first one; empty while none
};

// Throws std::runtime_error("invalid file name in archive: <name>") for a
// file whose name has a component longer than the file system of
// `data_directory` allows (NAME_MAX bytes of its encoding on POSIX systems,
// 255 characters on Windows), or that is a file and a folder at once: a
// file's name is the folder of another file of the archive, or a folder of
// its path exists as something else than a folder.
void check_file_names(const std::vector<file_entry>& files, const std::filesystem::path& data_directory);

}  // namespace netkeep::archive
