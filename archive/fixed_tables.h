#pragma once
// The fixed tables that decide what export copies and what reset keeps.
// Key paths are relative to the installation key (empty for the key itself)
// and are compared with their whole length, ASCII letters without regard to
// case. Import uses none of them: it restores whatever an archive holds.

#include <string_view>

namespace netkeep {

// Which command consults a table.
enum class table_mode { export_mode, reset_mode };

struct excluded_key {
  bool in_export;
  bool in_reset;
  std::wstring_view path;
};

// Keys that are never exported and never reset, with everything below them.
// Only the top-level keys of these names match.
inline constexpr excluded_key excluded_keys[] = {
    {true, true, L"System"},
    {true, true, L"WebServices"},
};

struct preserved_value {
  bool in_export;
  bool in_reset;
  std::wstring_view key_path;
  std::wstring_view name;
};

// Values that export leaves out and reset keeps.
inline constexpr preserved_value preserved_values[] = {
    {true, true, L"", L"path"},
    {false, true, L"", L"version"},
    {true, true, L"KAT", L"LocalAddress"},
};

struct exported_directory {
  std::wstring_view name;
  bool with_subfolders;
};

// Subfolders of the data directory whose files are exported, and deleted by
// reset, in full and in this order.
inline constexpr exported_directory exported_directories[] = {
    {L"Switching", true},
    {L"PIM", true},
};

// Whether the key at `path` matches a row of excluded_keys for `mode`.
bool is_excluded_key(std::wstring_view path, table_mode mode);

// Whether the value `name` of the key at `key_path` matches a row of
// preserved_values for `mode`.
bool is_preserved_value(std::wstring_view key_path, std::wstring_view name, table_mode mode);

// Whether any row of preserved_values for `mode` names `key_path`.
bool has_preserved_values(std::wstring_view key_path, table_mode mode);

}  // namespace netkeep
