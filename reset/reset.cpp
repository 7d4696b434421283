#include "reset/reset.h"

#include <cstdint>
#include <vector>

#include "archive/data_files.h"
#include "archive/fixed_tables.h"
#include "platform/text/unicode.h"

namespace netkeep {
namespace {

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

}  // namespace

void reset_installation(registry::raw_key installation_key, const std::wstring& data_directory) {
  delete_unpreserved_values(installation_key, L"");
  delete_unpreserved_keys(installation_key);
  for (const data_file& file : list_data_files(text::to_path(data_directory), {L".db", L".db-journal"})) {
    std::filesystem::remove(file.path);
  }
}

}  // namespace netkeep
