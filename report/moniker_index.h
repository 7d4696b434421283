#pragma once
// A hash index over a table ordered by moniker (a multimap keyed by
// monikers, or a sorted vector), for tables that are asked about one
// moniker at a time far more often than they change: the entries of a
// moniker are found without comparing it with the monikers along a path of
// the tree or of a binary search. Open addressing in one array of positions
// in the table, so that a look-up touches one slot and the entry it finds;
// the tables indexed here hold their entries in a vector, where a position
// is one step away.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <span>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/memory/large_pages.h"

namespace netkeep {

// The moniker of a map's entry: its key, a wide text.
struct map_key {
  template <class Entry>
  std::wstring_view operator()(const Entry& entry) const {
    return entry.first;
  }
};

// How many monikers equal_ranges looks up side by side: more would keep
// more misses in flight than a processor has room for.
inline constexpr std::size_t side_by_side_monikers = 16;

// `Key` gives an entry's moniker as a string view; entries of equal
// monikers are adjacent in the table's order.
template <class Table, class Key = map_key>
class moniker_index {
 public:
  using iterator = typename Table::const_iterator;
  using view = std::invoke_result_t<Key, const typename Table::value_type&>;

  // The entries of `table` whose key equals `moniker` exactly, in table order
  // (what table.equal_range gives); when there are none, the empty range at
  // table.end(). The index is built at the first call and
  // built again whenever it is asked about another table or the table's size
  // has changed since: the tables indexed only grow while they are asked
  // about, and their entries never move. A table that changes otherwise
  // calls reset().
  std::pair<iterator, iterator> equal_range(const Table& table, view moniker) {
    if (&table != indexed_ || table.size() != indexed_size_) build(table);
    return find(table, moniker, std::hash<view>()(moniker));
  }

  // What equal_range gives for each of `monikers`, into the same place of
  // `ranges` (as long), found side by side: the reads of the slots, then of
  // the entries, then of their monikers, are made for a group of monikers
  // before any is waited for, so that the misses of a large table's memory
  // overlap instead of following one another.
  void equal_ranges(const Table& table, std::span<const view> monikers,
                    std::span<std::pair<iterator, iterator>> ranges) {
    if (ranges.size() != monikers.size()) throw std::invalid_argument("moniker_index: ranges for other monikers");
    if (&table != indexed_ || table.size() != indexed_size_) build(table);
    for (std::size_t start = 0; start < monikers.size(); start += side_by_side_monikers) {
      const std::size_t n = std::min(side_by_side_monikers, monikers.size() - start);
      const view* const names = monikers.data() + start;
      std::array<std::size_t, side_by_side_monikers> hashes;
      for (std::size_t i = 0; i < n; ++i) {
        hashes[i] = std::hash<view>()(names[i]);
        __builtin_prefetch(&slots_[hashes[i] & mask_]);
      }
      for (std::size_t i = 0; i < n; ++i) {
        const slot& s = slots_[hashes[i] & mask_];
        if (s.tag != 0) __builtin_prefetch(&*std::next(table.begin(), s.first));
      }
      for (std::size_t i = 0; i < n; ++i) {
        const slot& s = slots_[hashes[i] & mask_];
        if (s.tag != 0) __builtin_prefetch(Key()(*std::next(table.begin(), s.first)).data());
      }
      for (std::size_t i = 0; i < n; ++i) ranges[start + i] = find(table, names[i], hashes[i]);
    }
  }

  // Forgets the index; the next call builds it again.
  void reset() {
    slots_ = {};
    indexed_ = nullptr;
  }

 private:
  // The entries of one moniker: the position of the first in the table, and
  // a tag of the high 24 bits of its hash above the number of its entries
  // (at least one, up to many_entries, which stands for that many or more).
  // A free slot's tag is 0. Two words of 32 bits a slot.
  struct slot {
    std::uint32_t first = 0;
    std::uint32_t tag = 0;
  };
  static constexpr std::size_t many_entries = 0xFF;

  static std::uint32_t high_bits(std::size_t hash) {
    return static_cast<std::uint32_t>(hash >> (8 * sizeof(std::size_t) - 24)) & 0xFFFFFF;
  }

  std::pair<iterator, iterator> find(const Table& table, view moniker, std::size_t hash) const {
    const std::uint32_t high = high_bits(hash);
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const slot& s = slots_[i];
      if (s.tag == 0) return {table.end(), table.end()};
      if ((s.tag >> 8) != high) continue;
      const iterator first = std::next(table.begin(), s.first);
      if (Key()(*first) != moniker) continue;
      const std::size_t entries = s.tag & 0xFF;
      if (entries < many_entries) return {first, std::next(first, entries)};
      iterator end = std::next(first, many_entries);
      while (end != table.end() && Key()(*end) == moniker) ++end;
      return {first, end};
    }
  }

  void build(const Table& table) {
    if (table.size() > std::numeric_limits<std::uint32_t>::max()) {
      throw std::length_error("moniker_index: too many entries");
    }
    // Keys that the table's order holds equivalent are equal texts.
    const auto run_end = [&table](iterator first) {
      iterator end = std::next(first);
      while (end != table.end() && Key()(*end) == Key()(*first)) ++end;
      return end;
    };
    std::size_t monikers = 0;
    for (iterator first = table.begin(); first != table.end(); first = run_end(first)) ++monikers;
    // At most half of the slots are used, so that probes stay short.
    std::size_t capacity = 16;
    while (capacity < 2 * monikers) capacity *= 2;
    slots_.assign(capacity, slot{});
    mask_ = capacity - 1;
    std::size_t position = 0;
    for (iterator first = table.begin(); first != table.end();) {
      const iterator end = run_end(first);
      const std::size_t entries = static_cast<std::size_t>(std::distance(first, end));
      const std::size_t hash = std::hash<view>()(Key()(*first));
      std::size_t i = hash & mask_;
      while (slots_[i].tag != 0) i = (i + 1) & mask_;
      slots_[i] = {static_cast<std::uint32_t>(position),
                   high_bits(hash) << 8 | static_cast<std::uint32_t>(std::min(entries, many_entries))};
      position += entries;
      first = end;
    }
    indexed_ = &table;
    indexed_size_ = table.size();
  }

  std::vector<slot, memory::large_page_allocator<slot>> slots_;
  std::size_t mask_ = 0;
  const Table* indexed_ = nullptr;
  std::size_t indexed_size_ = 0;
};

}  // namespace netkeep
