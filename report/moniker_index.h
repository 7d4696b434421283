#pragma once
// A hash index over a multimap keyed by monikers, for tables that are asked
// about one moniker at a time far more often than they change: the entries
// of a moniker are found without comparing it with the monikers along a
// path of the tree. Open addressing in one array, so that a look-up touches
// one slot and the entry it finds.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

namespace netkeep {

template <class Table>
class moniker_index {
 public:
  using iterator = typename Table::const_iterator;

  // The entries of `table` whose key equals `moniker` exactly, in table order
  // (what table.equal_range gives); when there are none, the empty range at
  // table.end(). The index is built at the first call and
  // built again whenever it is asked about another table or the table's size
  // has changed since: the tables indexed only grow while they are asked
  // about, and their entries never move.
  std::pair<iterator, iterator> equal_range(const Table& table, std::wstring_view moniker) {
    if (&table != indexed_ || table.size() != indexed_size_) build(table);
    const std::size_t hash = std::hash<std::wstring_view>()(moniker);
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const slot& s = slots_[i];
      if (s.entries == 0) return {table.end(), table.end()};
      if (s.hash == static_cast<std::uint32_t>(hash) && std::wstring_view(s.first->first) == moniker) {
        return {s.first, std::next(s.first, s.entries)};
      }
    }
  }

 private:
  // The entries of one moniker: the first and how many (a moniker has at
  // least one; none marks a free slot), and the low bits of its hash. Two
  // words a slot, as most slots hold one entry.
  struct slot {
    iterator first{};
    std::uint32_t entries = 0;
    std::uint32_t hash = 0;
  };

  void build(const Table& table) {
    // At most half of the slots are used, so that probes stay short.
    std::size_t capacity = 16;
    while (capacity < 2 * table.size()) capacity *= 2;
    slots_.assign(capacity, slot{});
    mask_ = capacity - 1;
    for (iterator first = table.begin(); first != table.end();) {
      // Keys that the table's order holds equivalent are equal texts.
      iterator end = std::next(first);
      std::uint32_t entries = 1;
      for (; end != table.end() && end->first == first->first; ++end) ++entries;
      const std::size_t hash = std::hash<std::wstring_view>()(first->first);
      std::size_t i = hash & mask_;
      while (slots_[i].entries != 0) i = (i + 1) & mask_;
      slots_[i] = {first, entries, static_cast<std::uint32_t>(hash)};
      first = end;
    }
    indexed_ = &table;
    indexed_size_ = table.size();
  }

  std::vector<slot> slots_;
  std::size_t mask_ = 0;
  const Table* indexed_ = nullptr;
  std::size_t indexed_size_ = 0;
};

}  // namespace netkeep
