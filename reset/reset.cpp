#include "reset/reset.h"

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "archive/data_files.h"
#include "archive/fixed_tables.h"
#include "archive/replacement_file.h"
#include "platform/sqlite/database_use.h"
#include "platform/text/unicode.h"

namespace netkeep {
namespace {

namespace fs = std::filesystem;
namespace registry = win32::registry;

// Deletes the values of `key` (at `path` below the installation key) that
// reset does not preserve.
void delete_unpreserved_values(registry::raw_key key, const std::wstring& path) {
  for (std::uint32_t index = 0;;) {
    std::wstring name;
    if (registry::enumeration_ended(registry::enum_value(key, index, name, registry::value_name_chars))) return;
    if (is_preserved_value(path, name, table_mode::reset_mode)) {
      ++index;
    } else {
      registry::delete_value(key, name);  // the next value moves to `index`
    }
  }
}

void delete_unpreserved_keys(registry::raw_key installation_key) {
  // One entry per entered key on the current path: true when the key holds
  // preserved values and stays.
  std::vector<bool> keeps;
  registry::walk_keys(installation_key, false,
                      [&keeps](registry::raw_key key, const std::wstring& path, const std::wstring& name,
                               bool entering) {
                        if (entering) {
                          if (is_excluded_key(path, table_mode::reset_mode)) return false;
                          const bool keep = has_preserved_values(path, table_mode::reset_mode);
                          if (keep) delete_unpreserved_values(key, path);
                          keeps.push_back(keep);
                          return true;
                        }
                        const bool keep = keeps.back();
                        keeps.pop_back();
                        if (keep) return true;
                        registry::delete_key(key, name);  // `key` is the parent here
                        return false;
                      });
}

// Whether files can be removed from `folder`, tried with a probe file of our
// own; the reason when they cannot.
std::error_code removal_failure(const fs::path& folder) {
  const fs::path probe = own_file_name(folder, ".probe");
  std::error_code failure;
  {
    errno = 0;
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    if (!out) failure = std::error_code(errno != 0 ? errno : EACCES, std::generic_category());
  }
  if (!failure) fs::remove(probe, failure);
  return failure;
}

// Throws before anything is deleted when a file cannot be: a database in use,
// or a folder whose entries cannot be removed (read-only).
void check_files_removable(const std::vector<data_file>& files) {
  std::set<fs::path> checked_folders;
  for (const data_file& file : files) {
    if (file.path.extension() == ".db") {
      sqlite::check_not_in_use(text::from_path(file.path), sqlite::intended_use::remove);
    }
    const fs::path folder = file.path.parent_path();
    if (!checked_folders.insert(folder).second) continue;
    if (const std::error_code failure = removal_failure(folder)) {
      throw fs::filesystem_error("cannot remove", file.path, failure);
    }
  }
}

}  // namespace

void reset_installation(registry::raw_key installation_key, const std::wstring& data_directory) {
  const std::vector<data_file> files = list_data_files(text::to_path(data_directory), {L".db", L".db-journal"});
  check_files_removable(files);
  delete_unpreserved_values(installation_key, L"");
  delete_unpreserved_keys(installation_key);
  registry::flush_key(installation_key);
  for (const data_file& file : files) fs::remove(file.path);
}

}  // namespace netkeep
