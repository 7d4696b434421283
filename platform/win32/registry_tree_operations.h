#pragma once
// The key and value operations of the registry layer on a key tree in memory
// (registry_tree.h), with the Windows registry's results and errors. Both
// the file-backed hive and the memory trees (registry_memory.h) serve their
// keys through them; each caller holds its own lock around every call and
// checks access rights itself (granted_rights).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/registry.h"
#include "platform/win32/registry_tree.h"

namespace win32::registry {

// Specific access rights of registry keys.
inline constexpr access_mask key_query_value = 0x0001;
inline constexpr access_mask key_set_value = 0x0002;
inline constexpr access_mask key_create_sub_key = 0x0004;
inline constexpr access_mask key_enumerate_sub_keys = 0x0008;
inline constexpr access_mask key_all_access = 0x000F003F;

// The specific rights that a requested access mask grants (generic rights
// mapped as the Windows registry maps them).
access_mask granted_rights(access_mask requested);

class tree_operations {
 public:
  // `storable_names_only`: refuse to create keys and values whose names a
  // hive file could not carry (is_storable_name), as the file-backed hive
  // must.
  explicit tree_operations(bool storable_names_only) : storable_names_only_(storable_names_only) {}

  // create_key's rule for `name` (see key_path_length in registry.h).
  std::optional<std::size_t> path_length(const std::wstring& name);
  bool valid_value_name(const std::wstring& name) const;

  // The key at `path` below `start` (error_file_not_found when missing,
  // error_invalid_parameter for a malformed path).
  key_node& open(key_node& start, const std::wstring& path);
  // The key at `name` below `start`, created with the keys on its path when
  // missing (then only when `may_create`, else error_access_denied); sets
  // `created` when a key was created.
  key_node& create(key_node& start, const std::wstring& name, bool may_create, bool& created);
  value_info query(const key_node& key, const std::wstring& name, void* buffer, std::uint32_t buffer_size);
  void set(key_node& key, const std::wstring& name, std::uint32_t type, const void* data, std::uint32_t size);
  // Removes the subkey at `name` below `start` (which must have no subkeys)
  // and hands it over, detached from its parent.
  std::unique_ptr<key_node> remove_key(key_node& start, const std::wstring& name);
  void remove_value(key_node& key, const std::wstring& name);
  // enum_key and the value enumerations of registry.h, as result codes.
  std::uint32_t enum_key(const key_node& key, std::uint32_t index, std::wstring& name,
                         std::uint32_t name_buffer_chars);
  // The value at `index` with its name checked against the buffer; null with
  // `result` set when there is none to hand out.
  const value_entry* enum_value(const key_node& key, std::uint32_t index, std::uint32_t name_buffer_chars,
                                std::uint32_t& result) const;
  // enum_value_with_data of registry.h, as a result code.
  std::uint32_t enum_value_with_data(const key_node& key, std::uint32_t index, std::wstring& name,
                                     std::uint32_t name_buffer_chars, void* buffer, std::uint32_t buffer_size,
                                     value_info& info) const;

 private:
  const std::u16string& folded_name(std::wstring_view name);
  const std::vector<std::wstring_view>& split_path(const std::wstring& path);
  key_node* find_child(const key_node& parent, std::u16string_view folded) const;

  bool storable_names_only_;
  // Working storage, reused so that lookups allocate nothing.
  std::u16string folded_;
  std::vector<std::wstring_view> names_;
  // The subkey that enum_key handed out last, as its parent and index: a
  // walk opens each subkey by name right after enumerating it, and finds it
  // here without a search. Only compared, never followed, until checked
  // against the parent's live subkeys.
  const key_node* enumerated_parent_ = nullptr;
  std::size_t enumerated_index_ = 0;
};

}  // namespace win32::registry
