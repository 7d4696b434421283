// The file-backed registry: HKEY_LOCAL_MACHINE is one text file (format in
// registry_hive_format.h) named by the environment variable
// ORBENTA_REGISTRY, /var/lib/orbenta/registry.reg when it is unset. A
// missing file is an empty registry.
//
// Sessions: the hive is loaded, and the hive's lock taken, when the registry
// is first used while no key is open; it is written back by flush_key() and,
// if anything changed, when the last open key is closed, after which the
// lock is released and the hive dropped (the next use reloads it). An
// operation on local_machine() while no key is open is a session of its own.
// Since a command keeps its installation key open from start to end, the
// lock serialises whole commands of several processes on one hive.
//
// Names that the file could not carry (line breaks, lone surrogates) are
// refused with error_invalid_parameter when a key or value would be created
// with them; looking them up simply finds nothing. As the Windows backend's
// C-string calls do, every name ends at its first NUL character.
//
// One mutex guards the whole registry, so handles may be used and closed on
// any thread. Each operation and each close of a key counts as one call
// (registry_calls.h), as it would be one call into the Windows registry.

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"
#include "platform/win32/registry_calls.h"
#include "platform/win32/registry_hive_file.h"
#include "platform/win32/registry_hive_format.h"
#include "platform/win32/registry_names.h"
#include "platform/win32/registry_tree.h"

namespace win32::registry {
namespace {

// Specific access rights of registry keys, and what the generic rights grant.
constexpr access_mask key_query_value = 0x0001;
constexpr access_mask key_set_value = 0x0002;
constexpr access_mask key_create_sub_key = 0x0004;
constexpr access_mask key_enumerate_sub_keys = 0x0008;
constexpr access_mask key_read = 0x00020019;
constexpr access_mask key_write = 0x00020006;
constexpr access_mask key_all_access = 0x000F003F;
constexpr access_mask maximum_allowed = 0x02000000;

access_mask granted_rights(access_mask requested) {
  access_mask rights = requested & key_all_access;
  if (requested & generic_read) rights |= key_read;
  if (requested & generic_write) rights |= key_write;
  if (requested & (generic_all | maximum_allowed)) rights |= key_all_access;
  return rights;
}

std::filesystem::path hive_path() {
  const char* configured = std::getenv("ORBENTA_REGISTRY");
  return configured != nullptr && *configured != '\0' ? configured : "/var/lib/orbenta/registry.reg";
}

struct registry_state {
  std::mutex mutex;
  std::size_t uses = 0;  // open key handles plus operations in progress
  std::filesystem::path file;
  hive_lock lock;
  std::unique_ptr<key_node> root;  // while uses > 0
  bool changed = false;            // since loading or the last write-back
  // Deleted keys that still have open handles; operations on them fail.
  std::vector<std::unique_ptr<key_node>> detached;
  // Working storage of the operations, reused so that lookups allocate
  // nothing; guarded by the mutex like everything else.
  std::u16string folded;
  std::vector<std::wstring_view> names;
  // The subkey that enum_key handed out last, as its parent and index: a
  // walk opens each subkey by name right after enumerating it, and finds it
  // here without a search. Only compared, never followed, until checked
  // against the parent's live subkeys.
  const key_node* enumerated_parent = nullptr;
  std::size_t enumerated_index = 0;
};

// Never destroyed: static key handles elsewhere are closed during exit,
// possibly after every local static of this file would be gone.
registry_state& state() {
  static registry_state* const instance = new registry_state;
  return *instance;
}

void begin_session(registry_state& s) {
  std::filesystem::path file = hive_path();
  hive_lock lock = hive_lock::acquire(file);
  std::optional<std::string> bytes = read_hive_file(file);
  s.root = bytes ? parse_hive(*bytes, file.string()) : std::make_unique<key_node>();
  s.file = std::move(file);
  s.lock = std::move(lock);
  s.changed = false;
}

void write_back(registry_state& s) {
  replace_hive_file(s.file, format_hive(*s.root));
  s.changed = false;
}

// The last close cannot report a failing write-back; the file then keeps its
// previous contents.
void end_session(registry_state& s) noexcept {
  if (s.changed) {
    try {
      write_back(s);
    } catch (...) {
    }
  }
  s.root.reset();
  s.detached.clear();
  s.changed = false;
  s.lock = hive_lock();
}

// Holds the registry for one operation, loading the hive when no session is
// open and ending the session afterwards when nothing else keeps it.
class session_use {
 public:
  session_use() : guard_(state().mutex) {
    count_call();
    registry_state& s = state();
    if (s.uses == 0) begin_session(s);
    ++s.uses;
  }
  ~session_use() {
    registry_state& s = state();
    if (--s.uses == 0) end_session(s);
  }
  session_use(const session_use&) = delete;
  session_use& operator=(const session_use&) = delete;

 private:
  std::lock_guard<std::mutex> guard_;
};

}  // namespace

struct key_object {
  key_node* node;  // null for the predefined root: the current session's root
  access_mask rights;
};

namespace {

key_object predefined_root{nullptr, key_all_access};

// The live key behind a handle that has every right in `needed`.
key_node& key_of(raw_key key, access_mask needed) {
  if (key == nullptr) throw error(error_invalid_handle);
  key_node* node = key->node != nullptr ? key->node : state().root.get();
  if (node->deleted) throw error(error_key_deleted);
  if ((key->rights & needed) != needed) throw error(error_access_denied);
  return *node;
}

key_handle new_handle(key_node& node, access_mask access) {
  auto* object = new key_object{&node, granted_rights(access)};
  ++node.open_handles;
  ++state().uses;
  return key_handle(object);
}

void close_key(raw_key key) noexcept {
  if (key == nullptr || key == &predefined_root) return;
  count_call();
  registry_state& s = state();
  std::lock_guard<std::mutex> guard(s.mutex);
  key_node* node = key->node;
  delete key;
  if (--node->open_handles == 0 && node->deleted) {
    std::erase_if(s.detached, [node](const std::unique_ptr<key_node>& gone) { return gone.get() == node; });
  }
  if (--s.uses == 0) end_session(s);
}

// The folded form of `name`, valid until the next call.
const std::u16string& folded_name(std::wstring_view name) {
  std::u16string& folded = state().folded;
  fold_name(name, folded);
  return folded;
}

// The names of a key path (cut at a NUL); empty for an empty path. An empty
// name or one longer than a key name may be is error_invalid_parameter. The
// list is valid until the next call.
const std::vector<std::wstring_view>& split_path(const std::wstring& path) {
  std::vector<std::wstring_view>& names = state().names;
  names.clear();
  const std::wstring_view text = c_string_view(path);
  if (text.empty()) return names;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(L'\\', start);
    const std::wstring_view name = text.substr(start, end == std::wstring_view::npos ? end : end - start);
    if (name.empty() || !netkeep::text::utf16_length_at_most(name, max_key_name_length)) {
      throw error(error_invalid_parameter);
    }
    names.push_back(name);
    if (end == std::wstring_view::npos) return names;
    start = end + 1;
  }
}

// The subkey of `parent` whose folded name is `folded`, or null.
key_node* find_child(const key_node& parent, std::u16string_view folded) {
  const registry_state& s = state();
  if (s.enumerated_parent == &parent && s.enumerated_index < parent.children.size()) {
    key_node& enumerated = parent.children.at(s.enumerated_index);
    if (enumerated.folded == folded) return &enumerated;
  }
  return parent.children.find(folded);
}

key_node& find_key(key_node& start, const std::vector<std::wstring_view>& names) {
  key_node* key = &start;
  for (std::wstring_view name : names) {
    key = find_child(*key, folded_name(name));
    if (key == nullptr) throw error(error_file_not_found);
  }
  return *key;
}

}  // namespace

raw_key local_machine() { return &predefined_root; }

void key_handle::reset(raw_key key) {
  raw_key old = key_;
  key_ = key;
  close_key(old);
}

key_handle open_key(raw_key parent, const std::wstring& path, access_mask access) {
  session_use use;
  key_node& start = key_of(parent, 0);
  return new_handle(find_key(start, split_path(path)), access);
}

key_handle create_key(raw_key parent, const std::wstring& name) {
  session_use use;
  key_node* key = &key_of(parent, 0);
  const std::vector<std::wstring_view>& names = split_path(name);
  std::size_t existing = 0;
  for (; existing < names.size(); ++existing) {
    key_node* next = key->children.find(folded_name(names[existing]));
    if (next == nullptr) break;
    key = next;
  }
  if (existing < names.size()) {
    // Everything is checked before the first key is created.
    if ((parent->rights & key_create_sub_key) == 0) throw error(error_access_denied);
    for (std::size_t i = existing; i < names.size(); ++i) {
      if (!is_storable_name(names[i])) throw error(error_invalid_parameter);
    }
    for (std::size_t i = existing; i < names.size(); ++i) {
      key = &key->children.insert(std::make_unique<key_node>(names[i], key));
    }
    state().changed = true;
  }
  return new_handle(*key, generic_write);
}

value_info query_value(raw_key key, const std::wstring& name, void* buffer, std::uint32_t buffer_size) {
  session_use use;
  const value_entry* value = key_of(key, key_query_value).values.find(folded_name(c_string_view(name)));
  if (value == nullptr) throw error(error_file_not_found);
  const auto size = static_cast<std::uint32_t>(value->data.size());
  // As RegQueryValueExW: without a buffer only the type and size are asked.
  if (buffer != nullptr) {
    if (size > buffer_size) throw error(error_more_data);
    std::memcpy(buffer, value->data.data(), size);
  }
  return {value->type, size};
}

void set_value(raw_key key, const std::wstring& name, std::uint32_t type, const void* data, std::uint32_t size) {
  session_use use;
  key_node& node = key_of(key, key_set_value);
  const std::wstring_view value_name = c_string_view(name);
  if (!netkeep::text::utf16_length_at_most(value_name, max_value_name_length) || !is_storable_name(value_name) ||
      (data == nullptr && size != 0)) {
    throw error(error_invalid_parameter);
  }
  node.values.set(value_name, folded_name(value_name), type,
                  std::string_view(size == 0 ? "" : static_cast<const char*>(data), size));
  state().changed = true;
}

void delete_key(raw_key parent, const std::wstring& name) {
  session_use use;
  key_node& start = key_of(parent, 0);
  const std::vector<std::wstring_view>& names = split_path(name);
  if (names.empty()) throw error(error_invalid_parameter);
  key_node& doomed = find_key(start, names);
  if (doomed.children.size() != 0) throw error(error_access_denied);
  std::unique_ptr<key_node> removed = doomed.parent->children.remove(doomed.folded);
  removed->parent = nullptr;
  if (removed->open_handles > 0) {
    removed->deleted = true;
    state().detached.push_back(std::move(removed));
  }
  state().changed = true;
}

void delete_value(raw_key key, const std::wstring& name) {
  session_use use;
  if (!key_of(key, key_set_value).values.erase(folded_name(c_string_view(name)))) {
    throw error(error_file_not_found);
  }
  state().changed = true;
}

std::uint32_t enum_key(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars) {
  session_use use;
  try {
    const key_node& parent = key_of(key, key_enumerate_sub_keys);
    if (index >= parent.children.size()) return error_no_more_items;
    const std::wstring_view found = parent.children.at(index).name;
    if (name_buffer_chars == 0 || !netkeep::text::utf16_length_at_most(found, name_buffer_chars - 1)) {
      return error_more_data;
    }
    name = found;
    state().enumerated_parent = &parent;
    state().enumerated_index = index;
    return error_success;
  } catch (const error& failure) {
    return failure.code;
  }
}

namespace {

// The value at `index`, with its name checked against the caller's buffer;
// null with `result` set when there is none to hand out.
const value_entry* enumerated_value(raw_key key, std::uint32_t index, std::uint32_t name_buffer_chars,
                                    std::uint32_t& result) {
  try {
    const value_list& values = key_of(key, key_query_value).values;
    if (index >= values.size()) {
      result = error_no_more_items;
      return nullptr;
    }
    const value_entry& found = values.at(index);
    if (name_buffer_chars == 0 || !netkeep::text::utf16_length_at_most(found.name, name_buffer_chars - 1)) {
      result = error_more_data;
      return nullptr;
    }
    result = error_success;
    return &found;
  } catch (const error& failure) {
    result = failure.code;
    return nullptr;
  }
}

}  // namespace

std::uint32_t enum_value(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars) {
  session_use use;
  std::uint32_t result;
  if (const value_entry* found = enumerated_value(key, index, name_buffer_chars, result)) name = found->name;
  return result;
}

std::uint32_t enum_value_with_data(raw_key key, std::uint32_t index, std::wstring& name,
                                   std::uint32_t name_buffer_chars, void* buffer, std::uint32_t buffer_size,
                                   value_info& info) {
  session_use use;
  std::uint32_t result;
  const value_entry* found = enumerated_value(key, index, name_buffer_chars, result);
  if (found == nullptr) return result;
  if (found->data.size() > buffer_size) return error_more_data;
  name = found->name;
  if (!found->data.empty()) std::memcpy(buffer, found->data.data(), found->data.size());
  info = {found->type, static_cast<std::uint32_t>(found->data.size())};
  return error_success;
}

void flush_key(raw_key key) {
  session_use use;
  key_of(key, 0);
  if (state().changed) write_back(state());
}

void check_write_back(raw_key key) {
  session_use use;
  key_of(key, 0);
  check_hive_replaceable(state().file);
}

std::vector<std::filesystem::path> backing_files() {
  std::filesystem::path lock = hive_path();
  lock += ".lock";
  return {hive_path(), lock};
}

}  // namespace win32::registry
