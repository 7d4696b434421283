#pragma once
// The in-memory hive of the file-backed registry: a tree of keys, each with
// its subkeys in enumeration order and its values in creation order. Names
// are compared by their folded forms (registry_names.h). Nothing here checks
// access rights or name rules; the registry operations do.
//
// The names and data of a tree live in one hive_storage that its keys share
// (registry_tree_storage.h); the keys themselves are kept small, since a
// large hive has hundreds of thousands.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win32/registry_tree_storage.h"

namespace win32::registry {

struct key_node;

// The values of one key in creation order. Lookup by name is a scan for a
// few values and a hash lookup for many, so that keys with very many values
// load and query fast. A key with one value holds it directly: only keys
// with more have a block of their own.
class value_list {
 public:
  value_list() = default;
  ~value_list() { clear(); }
  value_list(const value_list&) = delete;
  value_list& operator=(const value_list&) = delete;

  std::size_t size() const;
  const value_entry& at(std::size_t index) const;

  // The value whose folded name is `folded`, or null.
  const value_entry* find(std::u16string_view folded) const;

  // Replaces the type and data of the value with the same folded name, which
  // keeps its position and the case of its name, or appends a new value; the
  // records are made in `storage`, the storage of the list's tree.
  void set(hive_storage& storage, std::wstring_view name, std::u16string_view folded, std::uint32_t type,
           std::string_view data);

  // Removes the value; false when there is none of that name.
  bool erase(std::u16string_view folded);

  void clear();

 private:
  struct many;
  static constexpr std::size_t index_threshold = 16;

  std::size_t position(std::u16string_view folded) const;  // size() when absent
  many* as_many() const;
  void put_new(const value_entry* value);

  // Null, one value (low bit clear) or a `many` block (low bit set).
  std::uintptr_t bits_ = 0;
};

// The subkeys of one key, sorted by folded name: enumeration by index and
// removal at either end are O(1) (removal at the front, as deleting every
// subkey does, only advances a start offset), lookup is a binary search.
// Allocates nothing for no subkey or one, since most keys have one or none.
class child_list {
 public:
  child_list() = default;
  ~child_list() { clear(); }
  child_list(const child_list&) = delete;
  child_list& operator=(const child_list&) = delete;

  std::size_t size() const;
  key_node& at(std::size_t index) const;

  // The subkey whose folded name is `folded`, or null. Requires sorted order.
  key_node* find(std::u16string_view folded) const;

  // Inserts at the sorted position; the name must not be present yet, and
  // the child must have been made for the key that holds this list.
  key_node& insert(std::unique_ptr<key_node> child);

  // Removes the subkey whose folded name is `folded` and hands it over,
  // detached from its parent (null when there is none).
  std::unique_ptr<key_node> remove(std::u16string_view folded);

  // Bulk loading: append in any order, then sort once (children marked
  // deleted are dropped by the sort).
  key_node& append_unsorted(std::unique_ptr<key_node> child);
  void sort_dropping_deleted();

  void clear();

 private:
  struct many;

  // An index into many::nodes; `Folded` is a u16string_view or a stored_name.
  template <class Folded>
  std::size_t lower_bound(const Folded& folded) const;
  many* as_many() const;
  key_node* as_one() const;
  many& make_many();  // turns no or one subkey into a block

  // Null, one owned subkey (low bit clear) or a `many` block (low bit set).
  std::uintptr_t bits_ = 0;
};

struct key_node {
  // The root of a new tree, with a storage of its own.
  key_node();
  // A key of the parent's tree (not yet one of its subkeys); the name is
  // copied into the tree's storage.
  key_node(std::wstring_view name, key_node* parent);
  // `folded` must be fold_name(name).
  key_node(std::wstring_view name, std::u16string_view folded, key_node* parent);
  ~key_node();
  key_node(const key_node&) = delete;
  key_node& operator=(const key_node&) = delete;

  stored_name name() const { return name_; }  // as first created; empty for the root
  // Null for the root and for a key removed from its tree.
  key_node* parent() const { return (up_ & 1) != 0 ? nullptr : reinterpret_cast<key_node*>(up_); }
  // The storage of the key's tree, found at its top.
  hive_storage& storage() const;

  // values.set in the key's storage.
  void set_value(std::wstring_view name, std::u16string_view folded, std::uint32_t type, std::string_view data) {
    values.set(storage(), name, folded, type, data);
  }

  child_list children;
  value_list values;
  // Set when the key is deleted while a handle to it is still open (or, while
  // loading, when a later section deletes it).
  bool deleted = false;
  std::uint32_t open_handles = 0;  // beside `deleted`, in one word

 private:
  friend class child_list;
  // Makes the key the top of a tree of its own that shares its storage, so
  // that a key taken out of its tree keeps its names valid.
  void detach();

  // The parent, or for a key without one (low bit set) the storage of which
  // it holds a reference: one word for both.
  std::uintptr_t up_;
  stored_name name_;
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
