#pragma once
// Where the registry network configuration places each device moniker: one
// entry per moniker value read, ordered by moniker (its UTF-16 code units),
// the entries of one moniker in the order in which they were added, as a
// multimap keyed by moniker would hold them. The entries sit in one vector
// and their monikers end to end, as UTF-16 code units, in blocks that never
// move: a table of a million entries costs a few hundred allocations and no
// tree nodes, and a look-up goes through a hash index to the adjacent
// entries of the moniker.
//
// Monikers are compared as UTF-16 code units. A wide text and its UTF-16
// form stand for each other one to one for every text that the program
// reads (the conversions from UTF-16 and UTF-8 join surrogate pairs), so
// equal code units are equal wide texts.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/memory/large_pages.h"
#include "report/moniker_index.h"

namespace netkeep {

// Where one device moniker sits in the registry network configuration.
struct rf_device_path {
  std::int64_t satellite_id;
  std::int64_t antenna_id;
  bool up_converter;
  std::int64_t converter_id;
};

// One entry: the moniker (kept by the table) and its place.
struct rf_device {
  std::u16string_view moniker;
  rf_device_path path;

  // The moniker as a wide text, for messages.
  std::wstring wide_moniker() const;
};

class rf_device_table {
 public:
  using value_type = rf_device;
  using entry_vector = std::vector<rf_device, memory::large_page_allocator<rf_device>>;
  using const_iterator = entry_vector::const_iterator;

  rf_device_table() = default;
  rf_device_table(const rf_device_table&) = delete;
  rf_device_table& operator=(const rf_device_table&) = delete;

  // Adds an entry after those of an equal moniker.
  void emplace(std::wstring_view moniker, const rf_device_path& path);

  // Adds an entry at the end, out of moniker order where it falls so; a
  // loading step appends the entries in the order read and then calls
  // order() once. Look-ups and walks need the table in order.
  void append(std::wstring_view moniker, const rf_device_path& path);
  // Puts the entries in moniker order; those of one moniker keep the order
  // in which they were added.
  void order();

  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // The entries with exactly this moniker, in table order; when there are
  // none, the empty range at end(). Throws std::logic_error when the table
  // is not in order.
  std::pair<const_iterator, const_iterator> equal_range(std::u16string_view moniker) const;
  std::pair<const_iterator, const_iterator> equal_range(std::wstring_view moniker) const;
  std::size_t count(std::wstring_view moniker) const;
  // The entries of each moniker, as equal_range gives them, into the same
  // place of `ranges` (as long), looked up side by side
  // (moniker_index::equal_ranges): for a caller that has several monikers
  // to look up at once (best side_by_side_monikers or more).
  using range = std::pair<const_iterator, const_iterator>;
  void equal_ranges(std::span<const std::wstring_view> monikers, std::span<range> ranges) const;
  void equal_ranges(std::span<const std::u16string_view> monikers, std::span<range> ranges) const;

  void clear();

 private:
  struct moniker_of {
    std::u16string_view operator()(const rf_device& device) const { return device.moniker; }
  };

  // Keeps the moniker's code units and returns them.
  std::u16string_view keep(std::wstring_view moniker);

  // Blocks of large pages: the look-ups compare monikers at random places
  // of a few hundred megabytes at a million sites.
  struct block_release {
    std::size_t bytes;
    void operator()(char16_t* block) const noexcept { memory::release_large(block, bytes); }
  };
  static constexpr std::size_t block_units = memory::large_bytes / sizeof(char16_t);
  std::vector<std::unique_ptr<char16_t[], block_release>> blocks_;
  char16_t* next_ = nullptr;
  std::size_t room_ = 0;

  entry_vector entries_;
  bool ordered_ = true;
  mutable moniker_index<entry_vector, moniker_of> index_;
};

}  // namespace netkeep
