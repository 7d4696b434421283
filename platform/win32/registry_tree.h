#pragma once
// The in-memory hive of the file-backed registry: a tree of keys, each with
// its subkeys in enumeration order and its values in creation order. Names
// are compared by their folded forms (registry_names.h). Nothing here checks
// access rights or name rules; the registry operations do.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace win32::registry {

struct key_node;

struct value_entry {
  std::wstring name;     // as first created
  std::u16string folded; // fold_name(name)
  std::uint32_t type = 0;
  std::string data;
};

// The values of one key in creation order. Lookup by name is a scan for a
// few values and a hash lookup for many, so that keys with very many values
// load and query fast. The hash index holds positions only (the names stay
// in the entries), so it costs four bytes a slot.
class value_list {
 public:
  std::size_t size() const { return entries_.size(); }
  const value_entry& at(std::size_t index) const { return entries_[index]; }

  // The value whose folded name is `folded`, or null.
  const value_entry* find(std::u16string_view folded) const;

  // Replaces the type and data of the value with the same folded name, which
  // keeps its position and the case of its name, or appends a new value.
  void set(std::wstring name, std::u16string folded, std::uint32_t type, std::string data);

  // Removes the value; false when there is none of that name.
  bool erase(std::u16string_view folded);

  void clear();

 private:
  static constexpr std::size_t index_threshold = 16;
  std::size_t position(std::u16string_view folded) const;  // size() when absent

  void rebuild_index() const;
  void index_entry(std::size_t position) const;

  std::vector<value_entry> entries_;
  // Open addressing by the hash of the folded name: position + 1 per used
  // slot, 0 for a free one; at most half the slots are used. Only kept for
  // lists above index_threshold, and rebuilt lazily after an erase shifts
  // the positions.
  mutable std::vector<std::uint32_t> index_;
  mutable bool index_valid_ = false;
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
  key_node() = default;
  key_node(std::wstring name, key_node* parent);
  // `folded` must be fold_name(name).
  key_node(std::wstring name, std::u16string folded, key_node* parent);

  std::wstring name;      // as first created; empty for the root
  std::u16string folded;  // fold_name(name)
  key_node* parent = nullptr;
  child_list children;
  value_list values;
  // Set when the key is deleted while a handle to it is still open (or, while
  // loading, when a later section deletes it).
  bool deleted = false;
  std::size_t open_handles = 0;
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
