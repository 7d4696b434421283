#pragma once
// Registry key trees held in memory only, served by the operations of
// registry.h beside the platform's own registry: a key of a memory tree is
// a raw_key like any other, and every operation on it (and every key opened
// or created below it) stays in the tree, whatever the platform's backend.
// So code written against the registry layer reads a configuration that
// never was in the registry, such as an archive's.
//
// Nothing of a memory tree is ever written anywhere: flush_key,
// discard_changes and check_write_back do nothing on its keys. Names follow
// the platform's registry rules (key_path_length, is_valid_value_name).
// Handles may be used and closed on any thread.

#include <memory>

#include "platform/win32/registry.h"

namespace win32::registry {

struct memory_tree_state;

class memory_tree {
 public:
  // An empty tree: its root key has no values and no subkeys.
  memory_tree();
  ~memory_tree();
  memory_tree(const memory_tree&) = delete;
  memory_tree& operator=(const memory_tree&) = delete;

  // A new handle to the root key with generic all access. Handles may
  // outlive the tree object; the keys stay until the last one is closed.
  key_handle open_root() const;

 private:
  std::shared_ptr<memory_tree_state> state_;
};

// The backends' dispatch to memory trees: is_memory_key tells whether `key`
// is a key of a memory tree (cheap when there is none), and the functions
// below then do what the operations of registry.h of the same names do.
namespace memory {

bool is_memory_key(raw_key key) noexcept;
void close_key(raw_key key) noexcept;
key_handle open_key(raw_key parent, const std::wstring& path, access_mask access);
key_handle create_key(raw_key parent, const std::wstring& name);
value_info query_value(raw_key key, const std::wstring& name, void* buffer, std::uint32_t buffer_size);
void set_value(raw_key key, const std::wstring& name, std::uint32_t type, const void* data, std::uint32_t size);
void delete_key(raw_key parent, const std::wstring& name);
void delete_value(raw_key key, const std::wstring& name);
std::uint32_t enum_key(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars);
std::uint32_t enum_value(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars);
std::uint32_t enum_value_with_data(raw_key key, std::uint32_t index, std::wstring& name,
                                   std::uint32_t name_buffer_chars, void* buffer, std::uint32_t buffer_size,
                                   value_info& info);

}  // namespace memory
}  // namespace win32::registry
