#include "platform/win32/registry_tree.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "platform/win32/registry_names.h"

namespace win32::registry {
namespace {

template <class T>
std::uintptr_t tagged(T* block) {
  return reinterpret_cast<std::uintptr_t>(block) | 1;
}

}  // namespace

// value_list

// The values of a key with more than one. The hash index holds positions
// only (the names stay in the entries), so it costs four bytes a slot:
// open addressing by the hash of the folded name, position + 1 per used
// slot, 0 for a free one, at most half the slots used. It is only built for
// lists above index_threshold, and rebuilt lazily after an erase shifts the
// positions (empty until then).
struct value_list::many {
  std::vector<const value_entry*> entries;
  mutable std::vector<std::uint32_t> index;

  void rebuild_index() const {
    std::size_t slots = 64;
    while (slots < 2 * entries.size() + 2) slots *= 2;
    index.assign(slots, 0);
    for (std::size_t i = 0; i < entries.size(); ++i) index_entry(i);
  }

  void index_entry(std::size_t position) const {
    const std::size_t mask = index.size() - 1;
    std::size_t slot = entries[position]->name().folded_hash() & mask;
    while (index[slot] != 0) slot = (slot + 1) & mask;
    index[slot] = static_cast<std::uint32_t>(position + 1);
  }
};

value_list::many* value_list::as_many() const {
  return (bits_ & 1) != 0 ? reinterpret_cast<many*>(bits_ & ~std::uintptr_t{1}) : nullptr;
}

std::size_t value_list::size() const {
  if (const many* block = as_many()) return block->entries.size();
  return bits_ == 0 ? 0 : 1;
}

const value_entry& value_list::at(std::size_t index) const {
  if (const many* block = as_many()) return *block->entries[index];
  return *reinterpret_cast<const value_entry*>(bits_);
}

std::size_t value_list::position(std::u16string_view folded) const {
  const many* block = as_many();
  if (block == nullptr) return bits_ != 0 && at(0).name().folded_equals(folded) ? 0 : size();
  const std::vector<const value_entry*>& entries = block->entries;
  if (entries.size() <= index_threshold) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i]->name().folded_equals(folded)) return i;
    }
    return entries.size();
  }
  if (block->index.empty()) block->rebuild_index();
  const std::vector<std::uint32_t>& index = block->index;
  const std::size_t mask = index.size() - 1;
  for (std::size_t slot = stored_name::folded_hash(folded) & mask; index[slot] != 0; slot = (slot + 1) & mask) {
    const std::size_t at = index[slot] - 1;
    if (entries[at]->name().folded_equals(folded)) return at;
  }
  return entries.size();
}

const value_entry* value_list::find(std::u16string_view folded) const {
  const std::size_t at = position(folded);
  return at == size() ? nullptr : &this->at(at);
}

void value_list::set(hive_storage& storage, std::wstring_view name, std::u16string_view folded, std::uint32_t type,
                     std::string_view data) {
  const std::size_t at = position(folded);
  if (at == size()) return put_new(storage.store_value(storage.store_name(name, folded), type, data));
  const value_entry* replaced = storage.store_value(this->at(at).name(), type, data);
  if (many* block = as_many()) {
    block->entries[at] = replaced;  // same name, so the index stays right
  } else {
    bits_ = reinterpret_cast<std::uintptr_t>(replaced);
  }
}

void value_list::put_new(const value_entry* value) {
  if (bits_ == 0) {
    bits_ = reinterpret_cast<std::uintptr_t>(value);
    return;
  }
  many* block = as_many();
  if (block == nullptr) {
    block = new many{{&at(0)}, {}};
    bits_ = tagged(block);
  }
  block->entries.push_back(value);
  if (block->index.empty()) return;
  if (2 * block->entries.size() + 2 > block->index.size()) {
    block->rebuild_index();
  } else {
    block->index_entry(block->entries.size() - 1);
  }
}

bool value_list::erase(std::u16string_view folded) {
  const std::size_t at = position(folded);
  if (at == size()) return false;
  many* block = as_many();
  if (block == nullptr) {
    bits_ = 0;
    return true;
  }
  block->entries.erase(block->entries.begin() + static_cast<std::ptrdiff_t>(at));
  block->index.clear();
  if (block->entries.size() == 1) {
    const value_entry* last = block->entries.front();
    delete block;
    bits_ = reinterpret_cast<std::uintptr_t>(last);
  }
  return true;
}

void value_list::clear() {
  delete as_many();
  bits_ = 0;
}

// child_list

struct child_list::many {
  std::vector<std::unique_ptr<key_node>> nodes;
  std::size_t first = 0;  // nodes[0, first) were removed and are null
};

child_list::many* child_list::as_many() const {
  return (bits_ & 1) != 0 ? reinterpret_cast<many*>(bits_ & ~std::uintptr_t{1}) : nullptr;
}

key_node* child_list::as_one() const { return (bits_ & 1) != 0 ? nullptr : reinterpret_cast<key_node*>(bits_); }

child_list::many& child_list::make_many() {
  if (many* block = as_many()) return *block;
  auto block = std::make_unique<many>();
  if (key_node* one = as_one()) block->nodes.emplace_back(one);
  bits_ = tagged(block.get());
  return *block.release();
}

std::size_t child_list::size() const {
  if (const many* block = as_many()) return block->nodes.size() - block->first;
  return bits_ == 0 ? 0 : 1;
}

key_node& child_list::at(std::size_t index) const {
  if (const many* block = as_many()) return *block->nodes[block->first + index];
  return *as_one();
}

template <class Folded>
std::size_t child_list::lower_bound(const Folded& folded) const {
  const many& block = *as_many();
  const auto before = [](const std::unique_ptr<key_node>& node, const Folded& name) {
    return node->name().compare_folded(name) < 0;
  };
  // The ends first: deleting every subkey, as a walk that deletes does,
  // asks for the first subkey each time, and adding subkeys in their order,
  // as an import does, puts each after the last; a binary search of a large
  // list costs a miss at every step.
  const auto first = block.nodes.begin() + static_cast<std::ptrdiff_t>(block.first);
  if (first == block.nodes.end() || !before(*first, folded)) return block.first;
  if (before(block.nodes.back(), folded)) return block.nodes.size();
  const auto found = std::lower_bound(std::next(first), block.nodes.end(), folded, before);
  return static_cast<std::size_t>(found - block.nodes.begin());
}

key_node* child_list::find(std::u16string_view folded) const {
  const many* block = as_many();
  if (block == nullptr) {
    key_node* one = as_one();
    return one != nullptr && one->name().folded_equals(folded) ? one : nullptr;
  }
  const std::size_t at = lower_bound(folded);
  if (at == block->nodes.size() || !block->nodes[at]->name().folded_equals(folded)) return nullptr;
  return block->nodes[at].get();
}

key_node& child_list::insert(std::unique_ptr<key_node> child) {
  if (bits_ == 0) {
    bits_ = reinterpret_cast<std::uintptr_t>(child.get());
    return *child.release();
  }
  many& block = make_many();
  const std::size_t at = lower_bound(child->name());
  if (at == block.first && block.first > 0) {
    // Room left by removals at the front.
    block.nodes[--block.first] = std::move(child);
    return *block.nodes[block.first];
  }
  return **block.nodes.insert(block.nodes.begin() + static_cast<std::ptrdiff_t>(at), std::move(child));
}

std::unique_ptr<key_node> child_list::remove(std::u16string_view folded) {
  key_node* found = find(folded);
  if (found == nullptr) return nullptr;
  std::unique_ptr<key_node> child;
  if (many* block = as_many()) {
    const std::size_t at = lower_bound(folded);
    child = std::move(block->nodes[at]);
    if (at == block->first) {
      ++block->first;
    } else {
      block->nodes.erase(block->nodes.begin() + static_cast<std::ptrdiff_t>(at));
    }
    if (block->first == block->nodes.size()) clear();
  } else {
    child.reset(found);
    bits_ = 0;
  }
  child->detach();
  return child;
}

key_node& child_list::append_unsorted(std::unique_ptr<key_node> child) {
  if (bits_ == 0) return insert(std::move(child));
  many& block = make_many();
  block.nodes.push_back(std::move(child));
  return *block.nodes.back();
}

void child_list::sort_dropping_deleted() {
  many* block = as_many();
  if (block == nullptr) {
    if (key_node* one = as_one(); one != nullptr && one->deleted) clear();
    return;
  }
  std::vector<std::unique_ptr<key_node>>& nodes = block->nodes;
  std::erase_if(nodes, [](const std::unique_ptr<key_node>& node) { return node == nullptr || node->deleted; });
  block->first = 0;
  auto by_name = [](const std::unique_ptr<key_node>& a, const std::unique_ptr<key_node>& b) {
    return a->name().compare_folded(b->name()) < 0;
  };
  // Files written by this registry list subkeys in order already.
  if (!std::is_sorted(nodes.begin(), nodes.end(), by_name)) std::sort(nodes.begin(), nodes.end(), by_name);
  if (nodes.size() > 1) {
    nodes.shrink_to_fit();
    return;
  }
  key_node* one = nodes.empty() ? nullptr : nodes.front().release();
  delete block;
  bits_ = reinterpret_cast<std::uintptr_t>(one);
}

void child_list::clear() {
  if (many* block = as_many()) {
    delete block;
  } else {
    delete as_one();
  }
  bits_ = 0;
}

// key_node

key_node::key_node() : up_(tagged(hive_storage::create())) {}

key_node::key_node(std::wstring_view name, key_node* parent) : key_node(name, fold_name(name), parent) {}

key_node::key_node(std::wstring_view name, std::u16string_view folded, key_node* parent)
    : up_(reinterpret_cast<std::uintptr_t>(parent)), name_(parent->storage().store_name(name, folded)) {}

key_node::~key_node() {
  // The subkeys go first: the storage may end with this key's reference.
  children.clear();
  values.clear();
  if (parent() == nullptr) storage().release();
}

hive_storage& key_node::storage() const {
  const key_node* top = this;
  while (key_node* up = top->parent()) top = up;
  return *reinterpret_cast<hive_storage*>(top->up_ & ~std::uintptr_t{1});
}

void key_node::detach() {
  hive_storage& shared = storage();
  shared.add_reference();
  up_ = tagged(&shared);
}

}  // namespace win32::registry
