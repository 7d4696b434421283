#pragma once
// What import reads from an archive before it writes anything: the registry
// part as a flat list of steps, and where each file's contents lie.

#include <cstdint>
#include <deque>
#include <istream>
#include <string>
#include <vector>

namespace netkeep::archive {

// The registry part of an archive as a flat sequence of steps, so that keys
// nested to any depth are read and restored without recursion.
struct registry_step {
  enum class kind { set_value, enter_key, leave_key };
  kind what;
  std::wstring name;
  std::uint32_t type = 0;
  std::string data;
};

// A file record: its name and where its contents lie in the archive.
struct file_entry {
  std::wstring name;
  std::uint32_t size;
  std::streamoff offset;
};

struct archive_index {
  // A deque: a large registry is read without moving the steps read so far.
  std::deque<registry_step> registry;
  std::vector<file_entry> files;
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
