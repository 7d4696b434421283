#pragma once
// The in-memory hive of the file-backed registry: a tree of keys, each with
// its subkeys in enumeration order and its values in creation order. Names
// are compared by their folded forms (registry_names.h). Nothing here checks
// access rights or name rules; the registry operations do.
//
// The names and data of a tree live in one hive_storage that its keys share,
// so that a large hive is built and freed without an allocation per name.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace win32::registry {

struct key_node;

// Holds copies of names and data in large blocks, all freed together when the
// storage ends. Nothing is freed before: data replaced during a session stay
// until the session's tree is dropped.
class hive_storage {
 public:
  hive_storage() = default;
  hive_storage(const hive_storage&) = delete;
  hive_storage& operator=(const hive_storage&) = delete;

  // Copies `text`; the view returned stays valid while the storage lives.
  std::wstring_view store(std::wstring_view text) { return {copy(text.data(), text.size()), text.size()}; }
  std::u16string_view store(std::u16string_view text) { return {copy(text.data(), text.size()), text.size()}; }
  std::string_view store(std::string_view bytes) { return {copy(bytes.data(), bytes.size()), bytes.size()}; }

 private:
  static constexpr std::size_t block_bytes = 64 * 1024;

  template <class Char>
  const Char* copy(const Char* text, std::size_t count);
  void* allocate(std::size_t bytes, std::size_t alignment);

  std::vector<std::unique_ptr<unsigned char[]>> blocks_;
  std::vector<std::unique_ptr<unsigned char[]>> large_;  // one piece each
  unsigned char* next_ = nullptr;  // free room in the last block
  std::size_t left_ = 0;
};

// Names and data are views into the storage of the key's tree.
struct value_entry {
  std::wstring_view name;     // as first created
  std::u16string_view folded; // fold_name(name)
  std::uint32_t type = 0;
  std::string_view data;
};

// The values of one key in creation order. Lookup by name is a scan for a
// few values and a hash lookup for many, so that keys with very many values
// load and query fast. The hash index holds positions only (the names stay
// in the entries), so it costs four bytes a slot.
class value_list {
 public:
  // Names and data are copied into `storage`, which must outlive the list.
  explicit value_list(hive_storage& storage) : storage_(&storage) {}

  std::size_t size() const { return entries_.size(); }
  const value_entry& at(std::size_t index) const { return entries_[index]; }

  // The value whose folded name is `folded`, or null.
  const value_entry* find(std::u16string_view folded) const;

  // Replaces the type and data of the value with the same folded name, which
  // keeps its position and the case of its name, or appends a new value.
  void set(std::wstring_view name, std::u16string_view folded, std::uint32_t type, std::string_view data);

  // Removes the value; false when there is none of that name.
  bool erase(std::u16string_view folded);

  void clear();

 private:
  static constexpr std::size_t index_threshold = 16;
  std::size_t position(std::u16string_view folded) const;  // size() when absent

  void rebuild_index() const;
  void index_entry(std::size_t position) const;

  hive_storage* storage_;
  std::vector<value_entry> entries_;
  // Open addressing by the hash of the folded name: position + 1 per used
  // slot, 0 for a free one; at most half the slots are used. Only kept for
  // lists above index_threshold, and rebuilt lazily after an erase shifts
  // the positions; null otherwise, so that the many keys with few values
  // pay one pointer for it.
  mutable std::unique_ptr<std::vector<std::uint32_t>> index_;
};

// The subkeys of one key, sorted by folded name: enumeration by index and
// removal at either end are O(1) (removal at the front, as deleting every
// subkey does, only advances a start offset), lookup is a binary search.
// Allocates nothing while empty, since most keys are leaves.
class child_list {
 public:
  child_list();
  ~child_list();
  child_list(child_list&&) noexcept;
  child_list& operator=(child_list&&) noexcept;

  std::size_t size() const;
  key_node& at(std::size_t index) const;

  // The subkey whose folded name is `folded`, or null. Requires sorted order.
  key_node* find(std::u16string_view folded) const;

  // Inserts at the sorted position; the name must not be present yet.
  key_node& insert(std::unique_ptr<key_node> child);

  // Removes the subkey whose folded name is `folded` and hands it over (null
  // when there is none).
  std::unique_ptr<key_node> remove(std::u16string_view folded);

  // Bulk loading: append in any order, then sort once (children marked
  // deleted are dropped by the sort).
  key_node& append_unsorted(std::unique_ptr<key_node> child);
  void sort_dropping_deleted();

 private:
  std::size_t lower_bound(std::u16string_view folded) const;  // an index into nodes_

  std::vector<std::unique_ptr<key_node>> nodes_;
  std::size_t first_ = 0;  // nodes_[0, first_) were removed and are null
};

struct key_node {
  // The root of a new tree, with a storage of its own.
  key_node();
  // A key of the parent's tree (not yet one of its subkeys); the name is
  // copied into the tree's storage.
  key_node(std::wstring_view name, key_node* parent);
  // `folded` must be fold_name(name).
  key_node(std::wstring_view name, std::u16string_view folded, key_node* parent);
  key_node(const key_node&) = delete;
  key_node& operator=(const key_node&) = delete;

  // Shared by every key of the tree, so that a key detached from its tree
  // keeps its names valid.
  std::shared_ptr<hive_storage> storage;
  std::wstring_view name;      // as first created; empty for the root
  std::u16string_view folded;  // fold_name(name)
  key_node* parent = nullptr;
  child_list children;
  value_list values;
  // Set when the key is deleted while a handle to it is still open (or, while
  // loading, when a later section deletes it).
  bool deleted = false;
  std::uint32_t open_handles = 0;  // beside `deleted`, in one word
};

// Calls `visit(node, depth)` for `root`'s subtree in depth-first pre-order,
// subkeys in enumeration order, `root` included at depth 0. Iterative, so
// deep trees cannot exhaust the stack.
template <class Visit>
void for_each_key(const key_node& root, Visit visit) {
  struct frame {
    const key_node* node;
    std::size_t next_child;
  };
  std::vector<frame> stack{{&root, 0}};
  visit(root, std::size_t{0});
  while (!stack.empty()) {
    frame& top = stack.back();
    if (top.next_child == top.node->children.size()) {
      stack.pop_back();
      continue;
    }
    const key_node& child = top.node->children.at(top.next_child++);
    visit(child, stack.size());
    stack.push_back({&child, 0});
  }
}

}  // namespace win32::registry
