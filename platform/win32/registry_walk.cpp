// The tree operations of the registry layer, built on the key and value
// operations alone, so that both backends share them.

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"

namespace win32::registry {
namespace {

// Length of the walk's path buffer in wide characters, terminator included.
constexpr std::size_t path_buffer_chars = 2048;

// Name buffer used when deleting subkeys, terminator included.
constexpr std::uint32_t delete_name_chars = 260;

void walk_below(raw_key key, std::wstring& path, bool read_only, const key_visitor& visitor) {
  const std::size_t base = path.size();
  if (base != 0) path += L'\\';
  const std::size_t prefix = path.size();
  const std::size_t used = netkeep::text::utf16_length(path);
  const auto room = static_cast<std::uint32_t>(used < path_buffer_chars ? path_buffer_chars - used : 0);

  std::wstring name;  // reused from subkey to subkey
  for (std::uint32_t index = 0;;) {
    // A name too long for the path buffer, or a failing key, throws.
    if (enumeration_ended(enum_key(key, index, name, room))) break;
    path.resize(prefix);
    path += name;
    key_handle subkey = open_key(key, name, read_only ? generic_read : generic_all);
    if (visitor(subkey.get(), path, name, true)) {
      walk_below(subkey.get(), path, read_only, visitor);
      subkey.reset();
      path.resize(prefix + name.size());
      // A false answer on leaving means the subkey is gone and its successor
      // now stands at the same index.
      if (!visitor(key, path, name, false)) continue;
    }
    ++index;
  }
  path.resize(base);
}

}  // namespace

bool enumeration_ended(std::uint32_t result) {
  if (result == error_no_more_items) return true;
  check(result);
  return false;
}

void walk_keys(raw_key start, bool read_only, const key_visitor& visitor) {
  std::wstring path;
  walk_below(start, path, read_only, visitor);
}

void delete_subkeys(raw_key key) {
  for (;;) {
    std::wstring name;
    if (enum_key(key, 0, name, delete_name_chars) != error_success) return;
    {
      key_handle subkey = open_key(key, name, generic_read | delete_access);
      delete_subkeys(subkey.get());
    }
    delete_key(key, name);
  }
}

}  // namespace win32::registry
