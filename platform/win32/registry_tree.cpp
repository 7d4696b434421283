#include "platform/win32/registry_tree.h"

#include <algorithm>
#include <cstdint>

#include "platform/win32/registry_names.h"

namespace win32::registry {

// hive_storage

void* hive_storage::allocate(std::size_t bytes, std::size_t alignment) {
  // Large pieces get a block of their own, so that little room is wasted.
  if (bytes > block_bytes / 8) return large_.emplace_back(std::make_unique_for_overwrite<unsigned char[]>(bytes)).get();
  std::size_t padding = (alignment - reinterpret_cast<std::uintptr_t>(next_) % alignment) % alignment;
  if (next_ == nullptr || padding + bytes > left_) {
    next_ = blocks_.emplace_back(std::make_unique_for_overwrite<unsigned char[]>(block_bytes)).get();
    left_ = block_bytes;
    padding = 0;  // new[] aligns for every fundamental type
  }
  unsigned char* at = next_ + padding;
  next_ = at + bytes;
  left_ -= padding + bytes;
  return at;
}

template <class Char>
const Char* hive_storage::copy(const Char* text, std::size_t count) {
  // Empty views still point somewhere: their data may be handed to memcpy.
  static constexpr Char empty[1] = {};
  if (count == 0) return empty;
  auto* at = static_cast<Char*>(allocate(count * sizeof(Char), alignof(Char)));
  std::copy(text, text + count, at);
  return at;
}

template const wchar_t* hive_storage::copy(const wchar_t*, std::size_t);
template const char16_t* hive_storage::copy(const char16_t*, std::size_t);
template const char* hive_storage::copy(const char*, std::size_t);

// value_list

void value_list::rebuild_index() const {
  std::size_t slots = 64;
  while (slots < 2 * entries_.size() + 2) slots *= 2;
  if (index_ == nullptr) index_ = std::make_unique<std::vector<std::uint32_t>>();
  index_->assign(slots, 0);
  for (std::size_t i = 0; i < entries_.size(); ++i) index_entry(i);
}

void value_list::index_entry(std::size_t position) const {
  std::vector<std::uint32_t>& index = *index_;
  const std::size_t mask = index.size() - 1;
  std::size_t slot = std::hash<std::u16string_view>()(entries_[position].folded) & mask;
  while (index[slot] != 0) slot = (slot + 1) & mask;
  index[slot] = static_cast<std::uint32_t>(position + 1);
}

std::size_t value_list::position(std::u16string_view folded) const {
  if (entries_.size() <= index_threshold) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].folded == folded) return i;
    }
    return entries_.size();
  }
  if (index_ == nullptr) rebuild_index();
  const std::vector<std::uint32_t>& index = *index_;
  const std::size_t mask = index.size() - 1;
  for (std::size_t slot = std::hash<std::u16string_view>()(folded) & mask; index[slot] != 0;
       slot = (slot + 1) & mask) {
    const std::size_t at = index[slot] - 1;
    if (entries_[at].folded == folded) return at;
  }
  return entries_.size();
}

const value_entry* value_list::find(std::u16string_view folded) const {
  const std::size_t at = position(folded);
  return at == entries_.size() ? nullptr : &entries_[at];
}

void value_list::set(std::wstring_view name, std::u16string_view folded, std::uint32_t type,
                     std::string_view data) {
  const std::size_t at = position(folded);
  if (at != entries_.size()) {
    entries_[at].type = type;
    entries_[at].data = storage_->store(data);
    return;
  }
  entries_.push_back({storage_->store(name), storage_->store(folded), type, storage_->store(data)});
  if (index_ == nullptr) return;
  if (2 * entries_.size() + 2 > index_->size()) {
    rebuild_index();
  } else {
    index_entry(entries_.size() - 1);
  }
}

bool value_list::erase(std::u16string_view folded) {
  const std::size_t at = position(folded);
  if (at == entries_.size()) return false;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
  index_.reset();
  return true;
}

void value_list::clear() {
  entries_.clear();
  index_.reset();
}

// child_list

child_list::child_list() = default;
child_list::~child_list() = default;
child_list::child_list(child_list&&) noexcept = default;
child_list& child_list::operator=(child_list&&) noexcept = default;

std::size_t child_list::size() const { return nodes_.size() - first_; }

key_node& child_list::at(std::size_t index) const { return *nodes_[first_ + index]; }

std::size_t child_list::lower_bound(std::u16string_view folded) const {
  auto found = std::lower_bound(nodes_.begin() + static_cast<std::ptrdiff_t>(first_), nodes_.end(), folded,
                                [](const std::unique_ptr<key_node>& node, std::u16string_view name) {
                                  return std::u16string_view(node->folded) < name;
                                });
  return static_cast<std::size_t>(found - nodes_.begin());
}

key_node* child_list::find(std::u16string_view folded) const {
  const std::size_t at = lower_bound(folded);
  if (at == nodes_.size() || nodes_[at]->folded != folded) return nullptr;
  return nodes_[at].get();
}

key_node& child_list::insert(std::unique_ptr<key_node> child) {
  const std::size_t at = lower_bound(child->folded);
  if (at == first_ && first_ > 0) {
    // Room left by removals at the front.
    nodes_[--first_] = std::move(child);
    return *nodes_[first_];
  }
  return **nodes_.insert(nodes_.begin() + static_cast<std::ptrdiff_t>(at), std::move(child));
}

std::unique_ptr<key_node> child_list::remove(std::u16string_view folded) {
  const std::size_t at = lower_bound(folded);
  if (at == nodes_.size() || nodes_[at]->folded != folded) return nullptr;
  std::unique_ptr<key_node> child = std::move(nodes_[at]);
  if (at == first_) {
    ++first_;
  } else {
    nodes_.erase(nodes_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  if (first_ == nodes_.size()) {
    std::vector<std::unique_ptr<key_node>>().swap(nodes_);
    first_ = 0;
  }
  return child;
}

key_node& child_list::append_unsorted(std::unique_ptr<key_node> child) {
  nodes_.push_back(std::move(child));
  return *nodes_.back();
}

void child_list::sort_dropping_deleted() {
  std::erase_if(nodes_, [](const std::unique_ptr<key_node>& node) { return node == nullptr || node->deleted; });
  first_ = 0;
  auto by_name = [](const std::unique_ptr<key_node>& a, const std::unique_ptr<key_node>& b) {
    return a->folded < b->folded;
  };
  // Files written by this registry list subkeys in order already.
  if (!std::is_sorted(nodes_.begin(), nodes_.end(), by_name)) std::sort(nodes_.begin(), nodes_.end(), by_name);
  if (nodes_.empty()) {
    std::vector<std::unique_ptr<key_node>>().swap(nodes_);
  } else {
    nodes_.shrink_to_fit();
  }
}

// key_node

key_node::key_node() : storage(std::make_shared<hive_storage>()), values(*storage) {}

key_node::key_node(std::wstring_view name, key_node* parent) : key_node(name, fold_name(name), parent) {}

key_node::key_node(std::wstring_view name, std::u16string_view folded, key_node* parent)
    : storage(parent->storage),
      name(storage->store(name)),
      folded(storage->store(folded)),
      parent(parent),
      values(*storage) {}

}  // namespace win32::registry
