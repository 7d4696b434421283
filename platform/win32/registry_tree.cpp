#include "platform/win32/registry_tree.h"

#include <algorithm>

#include "platform/win32/registry_names.h"

namespace win32::registry {

// value_list

std::size_t value_list::position(std::u16string_view folded) const {
  if (entries_.size() <= index_threshold) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].folded == folded) return i;
    }
    return entries_.size();
  }
  if (!index_valid_) {
    index_.clear();
    index_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].folded, i);
    index_valid_ = true;
  }
  auto found = index_.find(folded);
  return found == index_.end() ? entries_.size() : found->second;
}

const value_entry* value_list::find(std::u16string_view folded) const {
  const std::size_t at = position(folded);
  return at == entries_.size() ? nullptr : &entries_[at];
}

void value_list::set(std::wstring name, std::u16string folded, std::uint32_t type, std::string data) {
  const std::size_t at = position(folded);
  if (at != entries_.size()) {
    entries_[at].type = type;
    entries_[at].data = std::move(data);
    return;
  }
  if (index_valid_) index_.emplace(folded, entries_.size());
  entries_.push_back({std::move(name), std::move(folded), type, std::move(data)});
}

bool value_list::erase(std::u16string_view folded) {
  const std::size_t at = position(folded);
  if (at == entries_.size()) return false;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
  index_valid_ = false;
  index_.clear();
  return true;
}

void value_list::clear() {
  entries_.clear();
  index_.clear();
  index_valid_ = false;
}

// child_list

child_list::child_list() = default;
child_list::~child_list() = default;
child_list::child_list(child_list&&) noexcept = default;
child_list& child_list::operator=(child_list&&) noexcept = default;

std::size_t child_list::size() const { return nodes_ ? nodes_->size() : 0; }

key_node& child_list::at(std::size_t index) const { return *(*nodes_)[index]; }

std::size_t child_list::lower_bound(std::u16string_view folded) const {
  if (!nodes_) return 0;
  auto found = std::lower_bound(nodes_->begin(), nodes_->end(), folded,
                                [](const std::unique_ptr<key_node>& node, std::u16string_view name) {
                                  return std::u16string_view(node->folded) < name;
                                });
  return static_cast<std::size_t>(found - nodes_->begin());
}

key_node* child_list::find(std::u16string_view folded) const {
  const std::size_t at = lower_bound(folded);
  if (at == size() || (*nodes_)[at]->folded != folded) return nullptr;
  return (*nodes_)[at].get();
}

key_node& child_list::insert(std::unique_ptr<key_node> child) {
  if (!nodes_) nodes_ = std::make_unique<storage>();
  const std::size_t at = lower_bound(child->folded);
  return **nodes_->insert(nodes_->begin() + static_cast<std::ptrdiff_t>(at), std::move(child));
}

std::unique_ptr<key_node> child_list::remove(std::u16string_view folded) {
  const std::size_t at = lower_bound(folded);
  if (at == size() || (*nodes_)[at]->folded != folded) return nullptr;
  std::unique_ptr<key_node> child = std::move((*nodes_)[at]);
  nodes_->erase(nodes_->begin() + static_cast<std::ptrdiff_t>(at));
  if (nodes_->empty()) nodes_.reset();
  return child;
}

key_node& child_list::append_unsorted(std::unique_ptr<key_node> child) {
  if (!nodes_) nodes_ = std::make_unique<storage>();
  nodes_->push_back(std::move(child));
  return *nodes_->back();
}

void child_list::sort_dropping_deleted() {
  if (!nodes_) return;
  std::erase_if(*nodes_, [](const std::unique_ptr<key_node>& node) { return node->deleted; });
  auto by_name = [](const std::unique_ptr<key_node>& a, const std::unique_ptr<key_node>& b) {
    return a->folded < b->folded;
  };
  // Files written by this registry list subkeys in order already.
  if (!std::is_sorted(nodes_->begin(), nodes_->end(), by_name)) std::sort(nodes_->begin(), nodes_->end(), by_name);
  if (nodes_->empty()) nodes_.reset();
}

// key_node

key_node::key_node(std::wstring name, key_node* parent)
    : name(std::move(name)), folded(fold_name(this->name)), parent(parent) {}

}  // namespace win32::registry
