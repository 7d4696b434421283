#pragma once
// What import reads from an archive before it writes anything: the registry
// part as a flat list of steps, and where each file's contents lie.

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace netkeep::archive {

// The registry part of an archive as a flat sequence of steps, so that keys
// nested to any depth are read and restored without recursion. Names and
// data lie in the index's registry_text and registry_bytes (see
// archive_index::name and data), so that a large registry is held in a few
// allocations.
struct registry_step {
  enum class kind { set_value, enter_key, leave_key };
  kind what;
  std::uint32_t type = 0;
  std::size_t name_start = 0;
  std::size_t name_length = 0;
  std::size_t data_start = 0;
  std::size_t data_length = 0;
};

// A file record: its name and where its contents lie in the archive.
struct file_entry {
  std::wstring name;
  std::uint32_t size;
  std::streamoff offset;
};

struct archive_index {
  std::vector<registry_step> registry;
  std::wstring registry_text;   // the names of the steps, one after the other
  std::string registry_bytes;   // the data of the steps, one after the other
  std::vector<file_entry> files;

  // The name of an enter_key or set_value step; the data of a set_value step.
  std::wstring_view name(const registry_step& step) const {
    return std::wstring_view(registry_text).substr(step.name_start, step.name_length);
  }
  std::string_view data(const registry_step& step) const {
    return std::string_view(registry_bytes).substr(step.data_start, step.data_length);
  }
};

// Reads the whole archive from the start of `archive`, checking every record
// and that every file's contents are present, without holding those
// contents. Throws std::runtime_error with "failed to read from file" (a
// record cut short), "The specified file is not an exported database.",
// "Unsupported netkeep archive format.", "string buffer overflow",
// "unexpectedly large registry value >16MB", "unexpected" (a file's contents
// cut short) or "unsafe file name in archive: <name>" (see
// is_safe_file_name).
archive_index read_archive_index(std::istream& archive);

// The components of a file name of an archive, split at backslashes and (for
// safety on every platform) slashes.
std::vector<std::wstring> file_name_components(const std::wstring& name);

// Whether a file name of an archive stays below the data directory wherever
// it is joined to it: no root, no drive letter, no empty, "." or ".."
// component, no null character (which would cut the name short).
bool is_safe_file_name(const std::wstring& name);

}  // namespace netkeep::archive
