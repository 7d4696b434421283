#include "report/rf_device_table.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <utility>

#include "platform/text/unicode.h"

namespace netkeep {
std::wstring rf_device::wide_moniker() const { return text::from_utf16(moniker); }

std::u16string_view rf_device_table::keep(std::wstring_view moniker) {
  const std::size_t most = 2 * moniker.size();
  if (room_ < most) {
    const std::size_t size = std::max(block_units, most);
    const std::size_t bytes = size * sizeof(char16_t);
    std::unique_ptr<char16_t[], block_release> block(static_cast<char16_t*>(memory::allocate_large(bytes)),
                                                     block_release{bytes});
    blocks_.push_back(std::move(block));
    next_ = blocks_.back().get();
    room_ = size;
  }
  char16_t* const start = next_;
  next_ = text::write_utf16(moniker, start);
  room_ -= static_cast<std::size_t>(next_ - start);
  return {start, static_cast<std::size_t>(next_ - start)};
}

void rf_device_table::append(std::wstring_view moniker, const rf_device_path& path) {
  const std::u16string_view kept = keep(moniker);
  if (!entries_.empty() && kept < entries_.back().moniker) ordered_ = false;
  entries_.push_back({kept, path});
  index_.reset();
}

void rf_device_table::emplace(std::wstring_view moniker, const rf_device_path& path) {
  const bool was_ordered = ordered_;
  append(moniker, path);
  if (!was_ordered || ordered_) return;
  // The new entry goes after the entries of monikers up to its own.
  const auto last = std::prev(entries_.end());
  const auto place = std::upper_bound(entries_.begin(), last, *last,
                                      [](const rf_device& a, const rf_device& b) { return a.moniker < b.moniker; });
  std::rotate(place, last, entries_.end());
  ordered_ = true;
}

void rf_device_table::order() {
  if (ordered_) return;
  // u16string_view compares code units: the UTF-16 order of monikers.
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const rf_device& a, const rf_device& b) { return a.moniker < b.moniker; });
  ordered_ = true;
  index_.reset();
}

std::pair<rf_device_table::const_iterator, rf_device_table::const_iterator> rf_device_table::equal_range(
    std::u16string_view moniker) const {
  if (!ordered_) throw std::logic_error("rf_device_table: look-up before order()");
  return index_.equal_range(entries_, moniker);
}

std::pair<rf_device_table::const_iterator, rf_device_table::const_iterator> rf_device_table::equal_range(
    std::wstring_view moniker) const {
  const text::utf16_key key(moniker);
  return equal_range(key.units());
}

void rf_device_table::equal_ranges(std::span<const std::wstring_view> monikers, std::span<range> ranges) const {
  if (!ordered_) throw std::logic_error("rf_device_table: look-up before order()");
  if (ranges.size() != monikers.size()) throw std::invalid_argument("rf_device_table: ranges for other monikers");
  constexpr std::size_t group = side_by_side_monikers;
  for (std::size_t start = 0; start < monikers.size(); start += group) {
    const std::size_t n = std::min(group, monikers.size() - start);
    std::array<std::optional<text::utf16_key>, group> keys;
    std::array<std::u16string_view, group> units;
    for (std::size_t i = 0; i < n; ++i) units[i] = keys[i].emplace(monikers[start + i]).units();
    index_.equal_ranges(entries_, std::span(units.data(), n), ranges.subspan(start, n));
  }
}

void rf_device_table::equal_ranges(std::span<const std::u16string_view> monikers, std::span<range> ranges) const {
  if (!ordered_) throw std::logic_error("rf_device_table: look-up before order()");
  index_.equal_ranges(entries_, monikers, ranges);
}

std::size_t rf_device_table::count(std::wstring_view moniker) const {
  const auto [first, end] = equal_range(moniker);
  return static_cast<std::size_t>(end - first);
}

void rf_device_table::clear() {
  index_.reset();
  entries_.clear();
  blocks_.clear();
  next_ = nullptr;
  room_ = 0;
  ordered_ = true;
}

}  // namespace netkeep
