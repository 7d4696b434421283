#include "platform/win32/registry_tree_operations.h"

#include <cstring>

#include "platform/text/unicode.h"
#include "platform/win32/registry_names.h"

namespace win32::registry {
namespace {

constexpr access_mask key_read = 0x00020019;
constexpr access_mask key_write = 0x00020006;
constexpr access_mask maximum_allowed = 0x02000000;

// The number of names on the key's path from the root, the root's included.
std::size_t depth_of(const key_node& key) {
  std::size_t depth = 1;
  for (const key_node* at = key.parent(); at != nullptr; at = at->parent()) ++depth;
  return depth;
}

}  // namespace

access_mask granted_rights(access_mask requested) {
  access_mask rights = requested & key_all_access;
  if (requested & generic_read) rights |= key_read;
  if (requested & generic_write) rights |= key_write;
  if (requested & (generic_all | maximum_allowed)) rights |= key_all_access;
  return rights;
}

const std::u16string& tree_operations::folded_name(std::wstring_view name) {
  fold_name(name, folded_);
  return folded_;
}

// The names of a key path (cut at a NUL); empty for an empty path. An empty
// name or one longer than a key name may be is error_invalid_parameter. The
// list is valid until the next call.
const std::vector<std::wstring_view>& tree_operations::split_path(const std::wstring& path) {
  names_.clear();
  const std::wstring_view text = c_string_view(path);
  if (text.empty()) return names_;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(L'\\', start);
    const std::wstring_view name = text.substr(start, end == std::wstring_view::npos ? end : end - start);
    if (name.empty() || !netkeep::text::utf16_length_at_most(name, max_key_name_length)) {
      throw error(error_invalid_parameter);
    }
    names_.push_back(name);
    if (end == std::wstring_view::npos) return names_;
    start = end + 1;
  }
}

key_node* tree_operations::find_child(const key_node& parent, std::u16string_view folded) const {
  if (enumerated_parent_ == &parent && enumerated_index_ < parent.children.size()) {
    key_node& enumerated = parent.children.at(enumerated_index_);
    if (enumerated.name().folded_equals(folded)) return &enumerated;
  }
  return parent.children.find(folded);
}

std::optional<std::size_t> tree_operations::path_length(const std::wstring& name) {
  try {
    const std::vector<std::wstring_view>& names = split_path(name);
    if (storable_names_only_) {
      for (std::wstring_view component : names) {
        if (!is_storable_name(component)) return std::nullopt;
      }
    }
    return names.size();
  } catch (const error&) {
    return std::nullopt;
  }
}

bool tree_operations::valid_value_name(const std::wstring& name) const {
  const std::wstring_view value_name = c_string_view(name);
  return netkeep::text::utf16_length_at_most(value_name, max_value_name_length) &&
         (!storable_names_only_ || is_storable_name(value_name));
}

key_node& tree_operations::open(key_node& start, const std::wstring& path) {
  key_node* key = &start;
  for (std::wstring_view name : split_path(path)) {
    key = find_child(*key, folded_name(name));
    if (key == nullptr) throw error(error_file_not_found);
  }
  return *key;
}

key_node& tree_operations::create(key_node& start, const std::wstring& name, bool may_create, bool& created) {
  key_node* key = &start;
  const std::vector<std::wstring_view>& names = split_path(name);
  std::size_t existing = 0;
  for (; existing < names.size(); ++existing) {
    key_node* next = key->children.find(folded_name(names[existing]));
    if (next == nullptr) break;
    key = next;
  }
  created = existing < names.size();
  if (!created) return *key;
  // Everything is checked before the first key is created.
  if (!may_create) throw error(error_access_denied);
  if (storable_names_only_) {
    for (std::size_t i = existing; i < names.size(); ++i) {
      if (!is_storable_name(names[i])) throw error(error_invalid_parameter);
    }
  }
  // A deeper key would make a hive file unreadable.
  if (depth_of(*key) + (names.size() - existing) > max_key_depth) throw error(error_invalid_parameter);
  for (std::size_t i = existing; i < names.size(); ++i) {
    key = &key->children.insert(std::make_unique<key_node>(names[i], key));
  }
  return *key;
}

value_info tree_operations::query(const key_node& key, const std::wstring& name, void* buffer,
                                  std::uint32_t buffer_size) {
  const value_entry* value = key.values.find(folded_name(c_string_view(name)));
  if (value == nullptr) throw error(error_file_not_found);
  const std::string_view data = value->data();
  const auto size = static_cast<std::uint32_t>(data.size());
  // As RegQueryValueExW: without a buffer only the type and size are asked.
  if (buffer != nullptr) {
    if (size > buffer_size) throw error(error_more_data);
    if (size != 0) std::memcpy(buffer, data.data(), size);
  }
  return {value->type(), size};
}

void tree_operations::set(key_node& key, const std::wstring& name, std::uint32_t type, const void* data,
                          std::uint32_t size) {
  if (!valid_value_name(name) || (data == nullptr && size != 0)) throw error(error_invalid_parameter);
  const std::wstring_view value_name = c_string_view(name);
  key.set_value(value_name, folded_name(value_name), type,
                std::string_view(size == 0 ? "" : static_cast<const char*>(data), size));
}

std::unique_ptr<key_node> tree_operations::remove_key(key_node& start, const std::wstring& name) {
  if (split_path(name).empty()) throw error(error_invalid_parameter);
  key_node& doomed = open(start, name);
  if (doomed.children.size() != 0) throw error(error_access_denied);
  return doomed.parent()->children.remove(doomed.name().folded());
}

void tree_operations::remove_value(key_node& key, const std::wstring& name) {
  if (!key.values.erase(folded_name(c_string_view(name)))) throw error(error_file_not_found);
}

std::uint32_t tree_operations::enum_key(const key_node& parent, std::uint32_t index, std::wstring& name,
                                        std::uint32_t name_buffer_chars) {
  if (index >= parent.children.size()) return error_no_more_items;
  const stored_name found = parent.children.at(index).name();
  // The folded form has as many units as the name has in UTF-16.
  if (name_buffer_chars == 0 || found.folded_size() > name_buffer_chars - 1) return error_more_data;
  found.copy_to(name);
  enumerated_parent_ = &parent;
  enumerated_index_ = index;
  return error_success;
}

const value_entry* tree_operations::enum_value(const key_node& key, std::uint32_t index,
                                               std::uint32_t name_buffer_chars, std::uint32_t& result) const {
  const value_list& values = key.values;
  if (index >= values.size()) {
    result = error_no_more_items;
    return nullptr;
  }
  const value_entry& found = values.at(index);
  if (name_buffer_chars == 0 || found.name().folded_size() > name_buffer_chars - 1) {
    result = error_more_data;
    return nullptr;
  }
  result = error_success;
  return &found;
}

std::uint32_t tree_operations::enum_value_with_data(const key_node& key, std::uint32_t index, std::wstring& name,
                                                    std::uint32_t name_buffer_chars, void* buffer,
                                                    std::uint32_t buffer_size, value_info& info) const {
  std::uint32_t result;
  const value_entry* found = enum_value(key, index, name_buffer_chars, result);
  if (found == nullptr) return result;
  const std::string_view data = found->data();
  if (data.size() > buffer_size) return error_more_data;
  found->name().copy_to(name);
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  info = {found->type(), static_cast<std::uint32_t>(data.size())};
  return error_success;
}

}  // namespace win32::registry
