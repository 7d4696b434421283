#include "archive/fixed_tables.h"

namespace netkeep {
namespace {

wchar_t ascii_lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool same_ignoring_ascii_case(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

template <class Row>
bool applies(const Row& row, table_mode mode) {
  return mode == table_mode::export_mode ? row.in_export : row.in_reset;
}

}  // namespace

bool is_excluded_key(std::wstring_view path, table_mode mode) {
  for (const excluded_key& row : excluded_keys) {
    if (applies(row, mode) && same_ignoring_ascii_case(path, row.path)) return true;
  }
  return false;
}

bool is_preserved_value(std::wstring_view key_path, std::wstring_view name, table_mode mode) {
  for (const preserved_value& row : preserved_values) {
    if (applies(row, mode) && same_ignoring_ascii_case(key_path, row.key_path) &&
        same_ignoring_ascii_case(name, row.name)) {
      return true;
    }
  }
  return false;
}

bool has_preserved_values(std::wstring_view key_path, table_mode mode) {
  for (const preserved_value& row : preserved_values) {
    if (applies(row, mode) && same_ignoring_ascii_case(key_path, row.key_path)) return true;
  }
  return false;
}

}  // namespace netkeep
