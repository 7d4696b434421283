#include "reset/reset.h"

#include <cstdint>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "archive/data_files.h"
#include "archive/fixed_tables.h"
#include "platform/files/replacement_file.h"
#include "platform/sqlite/database_use.h"
#include "platform/text/unicode.h"

namespace netkeep {
namespace {

namespace fs = std::filesystem;
namespace registry = win32::registry;

// RegEnumValueW's name buffer in wide characters, terminator included.
constexpr std::uint32_t value_name_chars = 256;

// Deletes the values of `key` (at `path` below the installation key) that
// reset does not preserve.
void delete_unpreserved_values(registry::raw_key key, const std::wstring& path) {
  for (std::uint32_t index = 0;;) {
    std::wstring name;
    const std::uint32_t result = registry::enum_value(key, index, name, value_name_chars);
    // Anything but the end of the list would silently keep the values after
    // it.
    if (result == win32::error_no_more_items) return;
    win32::check(result);
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
    if (const std::error_code failure = netkeep::files::probe_folder(folder)) {
      throw fs::filesystem_error("cannot remove", file.path, failure);
    }
  }
}

}  // namespace

void reset_installation(registry::raw_key installation_key, const std::wstring& data_directory) {
  const fs::path data_folder = text::to_path(data_directory);
  // In name order, each database before its journal, log and index: the
  // database goes first, so that a reset stopped in between leaves no
  // database without the journal that makes it whole.
  const std::vector<data_file> files =
      list_data_files(data_folder, {L".db", L".db-journal", L".db-wal", L".db-shm"});
  check_files_removable(files);
  delete_unpreserved_values(installation_key, L"");
  delete_unpreserved_keys(installation_key);
  registry::flush_key(installation_key);
  for (const data_file& file : files) fs::remove(file.path);
  for (const fs::path& leftover : list_leftover_files(data_folder)) {
    std::error_code ignored;  // harmless where it stays
    fs::remove(leftover, ignored);
  }
}

}  // namespace netkeep
