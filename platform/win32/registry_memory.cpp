// Memory trees: each key handle is a memory_key, known by the set of live
// ones, so that a backend can tell it from its own keys (on Windows an HKEY,
// which cannot be looked into).

#include "platform/win32/registry_memory.h"

#include <atomic>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/win32/registry_calls.h"
#include "platform/win32/registry_tree_operations.h"

namespace win32::registry {

struct memory_tree_state {
  std::mutex mutex;
#ifdef _WIN32
  tree_operations operations{false};  // the Windows registry takes any name
#else
  tree_operations operations{true};  // as the file-backed hive does
#endif
  key_node root;
  // Deleted keys that still have open handles; operations on them fail.
  std::vector<std::unique_ptr<key_node>> detached;
};

namespace {

struct memory_key {
  std::shared_ptr<memory_tree_state> tree;
  key_node* node;
  access_mask rights;
};

struct live_keys {
  std::mutex mutex;
  std::unordered_set<const void*> keys;
  std::atomic<std::size_t> count{0};
};

// Never destroyed: static key handles elsewhere are closed during exit.
live_keys& live() {
  static live_keys* const instance = new live_keys;
  return *instance;
}

memory_key* to_memory(raw_key key) { return reinterpret_cast<memory_key*>(key); }

key_handle new_handle(const std::shared_ptr<memory_tree_state>& tree, key_node& node, access_mask access) {
  auto* key = new memory_key{tree, &node, granted_rights(access)};
  ++node.open_handles;
  live_keys& l = live();
  std::lock_guard<std::mutex> guard(l.mutex);
  l.keys.insert(key);
  l.count.store(l.keys.size(), std::memory_order_relaxed);
  return key_handle(reinterpret_cast<raw_key>(key));
}

// Holds the key's tree for one operation and finds the live key behind the
// handle, which must have every right in `needed`.
class key_use {
 public:
  key_use(raw_key key, access_mask needed) : key_(to_memory(key)), guard_(key_->tree->mutex) {
    count_call();
    if (key_->node->deleted) throw error(error_key_deleted);
    if ((key_->rights & needed) != needed) throw error(error_access_denied);
  }
  key_node& node() const { return *key_->node; }
  memory_tree_state& tree() const { return *key_->tree; }
  const std::shared_ptr<memory_tree_state>& shared_tree() const { return key_->tree; }
  access_mask rights() const { return key_->rights; }

 private:
  memory_key* key_;
  std::lock_guard<std::mutex> guard_;
};

// Runs an enumeration, turning its errors into its result code.
template <class Enumerate>
std::uint32_t enumeration(raw_key key, access_mask needed, Enumerate enumerate) {
  try {
    key_use use(key, needed);
    return enumerate(use);
  } catch (const error& failure) {
    return failure.code;
  }
}

}  // namespace

memory_tree::memory_tree() : state_(std::make_shared<memory_tree_state>()) {}

memory_tree::~memory_tree() = default;

key_handle memory_tree::open_root() const {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return new_handle(state_, state_->root, generic_all);
}

namespace memory {

bool is_memory_key(raw_key key) noexcept {
  live_keys& l = live();
  if (key == nullptr || l.count.load(std::memory_order_relaxed) == 0) return false;
  std::lock_guard<std::mutex> guard(l.mutex);
  return l.keys.contains(key);
}

void close_key(raw_key raw) noexcept {
  count_call();
  memory_key* key = to_memory(raw);
  {
    live_keys& l = live();
    std::lock_guard<std::mutex> guard(l.mutex);
    l.keys.erase(key);
    l.count.store(l.keys.size(), std::memory_order_relaxed);
  }
  std::shared_ptr<memory_tree_state> tree = std::move(key->tree);
  {
    std::lock_guard<std::mutex> guard(tree->mutex);
    key_node* node = key->node;
    if (--node->open_handles == 0 && node->deleted) {
      std::erase_if(tree->detached, [node](const std::unique_ptr<key_node>& gone) { return gone.get() == node; });
    }
  }
  delete key;
}

key_handle open_key(raw_key parent, const std::wstring& path, access_mask access) {
  key_use use(parent, 0);
  return new_handle(use.shared_tree(), use.tree().operations.open(use.node(), path), access);
}

key_handle create_key(raw_key parent, const std::wstring& name) {
  key_use use(parent, 0);
  bool created = false;
  key_node& key =
      use.tree().operations.create(use.node(), name, (use.rights() & key_create_sub_key) != 0, created);
  return new_handle(use.shared_tree(), key, generic_write);
}

value_info query_value(raw_key key, const std::wstring& name, void* buffer, std::uint32_t buffer_size) {
  key_use use(key, key_query_value);
  return use.tree().operations.query(use.node(), name, buffer, buffer_size);
}

void set_value(raw_key key, const std::wstring& name, std::uint32_t type, const void* data, std::uint32_t size) {
  key_use use(key, key_set_value);
  use.tree().operations.set(use.node(), name, type, data, size);
}

void delete_key(raw_key parent, const std::wstring& name) {
  key_use use(parent, 0);
  std::unique_ptr<key_node> removed = use.tree().operations.remove_key(use.node(), name);
  if (removed->open_handles > 0) {
    removed->deleted = true;
    use.tree().detached.push_back(std::move(removed));
  }
}

void delete_value(raw_key key, const std::wstring& name) {
  key_use use(key, key_set_value);
  use.tree().operations.remove_value(use.node(), name);
}

std::uint32_t enum_key(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars) {
  return enumeration(key, key_enumerate_sub_keys, [&](const key_use& use) {
    return use.tree().operations.enum_key(use.node(), index, name, name_buffer_chars);
  });
}

std::uint32_t enum_value(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars) {
  return enumeration(key, key_query_value, [&](const key_use& use) {
    std::uint32_t result;
    if (const value_entry* found = use.tree().operations.enum_value(use.node(), index, name_buffer_chars, result)) {
      found->name().copy_to(name);
    }
    return result;
  });
}

std::uint32_t enum_value_with_data(raw_key key, std::uint32_t index, std::wstring& name,
                                   std::uint32_t name_buffer_chars, void* buffer, std::uint32_t buffer_size,
                                   value_info& info) {
  return enumeration(key, key_query_value, [&](const key_use& use) {
    return use.tree().operations.enum_value_with_data(use.node(), index, name, name_buffer_chars, buffer,
                                                      buffer_size, info);
  });
}

}  // namespace memory
}  // namespace win32::registry
