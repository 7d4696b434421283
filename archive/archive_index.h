#pragma once
// What import reads from an archive before it writes anything: its records
// checked in full, the registry part handed out step by step rather than
// kept, and where each file's contents lie.

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace netkeep::archive {

// Sees the registry part of an archive in the order of its records: the
// installation key's values, then each key entered, its values set, its
// subkeys entered and left, and the key left again. Names and data are valid
// only during the call, so that a registry part of any size is read with a
// few buffers.
class registry_visitor {
 public:
  virtual void set_value(const std::wstring& name, std::uint32_t type, const std::string& data) = 0;
  virtual void enter_key(const std::wstring& name) = 0;
  virtual void leave_key() = 0;

 protected:
  ~registry_visitor() = default;
};

// A file record: its name and where its contents lie in the archive.
struct file_entry {
  std::wstring name;
  std::uint32_t size;
  std::streamoff offset;
};

// What a read of the whole archive keeps: where its registry part lies, so
// that it can be read again, and where each file's contents lie.
struct archive_index {
  std::uint32_t version = 0;
  std::streamoff registry_offset = 0;  // of the registry part's first record
  bool registry_empty = true;          // no value and no key at all
  std::vector<file_entry> files;
};

// Reads the whole archive from the start of `archive`, checking every record
// and that every file's contents are present, without holding those
// contents. Throws std::runtime_error with "failed to read from file" (a
// record cut short), "The specified file is not an exported database.",
// "Unsupported netkeep archive format.", "string buffer overflow",
// "unexpectedly large registry value >16MB", "unexpected" (a file's contents
// cut short) or "unsafe file name in archive: <name>" (see
// is_safe_file_name). Each step of the registry part goes to `visitor`, when
// given, as it is read: one that refuses a step must keep the refusal until
// the read ends, so that a record cut short is reported first.
archive_index read_archive_index(std::istream& archive, registry_visitor* visitor = nullptr);

// Reads the registry part of `archive`, which read_archive_index has read
// into `index`, again and hands its steps to `visitor`. Throws as
// read_archive_index does, should the archive have changed since.
void read_registry_part(std::istream& archive, const archive_index& index, registry_visitor& visitor);

// The components of a file name of an archive, split at backslashes and (for
// safety on every platform) slashes.
std::vector<std::wstring> file_name_components(const std::wstring& name);

// Whether a file name of an archive stays below the data directory wherever
// it is joined to it: no root, no drive letter, no empty, "." or ".."
// component, no null character (which would cut the name short).
bool is_safe_file_name(const std::wstring& name);

}  // namespace netkeep::archive
