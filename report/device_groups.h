#pragma once
// Items checked a group at a time against the registry's devices, for
// checks that look one device up per row or entry in the large rf_devices
// table: the look-ups of a group are made side by side
// (rf_device_table::equal_ranges), so that their cache misses overlap.
// The items of a group are all made before the first of them is checked;
// making one has no effect on what a check sees, as the databases and the
// registry do not change while they are verified.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <span>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/sqlite/sqlite.h"
#include "report/rf_device_table.h"

namespace netkeep {

// How many devices an item looks up: one, its member `moniker`, or one for
// each of its member array `monikers`, in that order.
template <class Item>
constexpr std::size_t devices_per_item() {
  if constexpr (requires { std::tuple_size<decltype(Item::monikers)>::value; }) {
    return std::tuple_size_v<decltype(Item::monikers)>;
  } else {
    return 1;
  }
}

// `next(item)` makes the next item in `item` (one of the last group's, to
// be reused) and returns true, or returns false at the end. `check(item,
// entries)` checks an item with the rf_devices entries of its moniker (a
// range), or of each of its monikers (a span of ranges), in the order the
// items were made. An item that fails to be made (`next` throws) ends the
// walk with that error once the items before it have been checked, as a
// walk of one item at a time would end; an error of `check` ends it at
// once.
template <class Item, class Next, class Check>
void check_with_devices(const rf_device_table& devices, Next next, Check check) {
  constexpr std::size_t per_item = devices_per_item<Item>();
  constexpr std::size_t group = std::max<std::size_t>(1, side_by_side_monikers / per_item);
  std::vector<Item> items(group);
  std::vector<std::wstring_view> monikers(group * per_item);
  std::vector<rf_device_table::range> entries(group * per_item);
  for (bool more = true; more;) {
    std::size_t made = 0;
    std::exception_ptr failure;
    try {
      while (made < items.size() && (more = next(items[made]))) {
        if constexpr (per_item == 1) {
          monikers[made] = items[made].moniker;
        } else {
          std::copy(items[made].monikers.begin(), items[made].monikers.end(), monikers.begin() + made * per_item);
        }
        ++made;
      }
    } catch (...) {
      failure = std::current_exception();
      more = false;
    }
    devices.equal_ranges(std::span(monikers.data(), made * per_item), std::span(entries.data(), made * per_item));
    for (std::size_t i = 0; i < made; ++i) {
      if constexpr (per_item == 1) {
        check(items[i], entries[i]);
      } else {
        check(items[i], std::span<const rf_device_table::range, per_item>(entries.data() + i * per_item, per_item));
      }
    }
    if (failure) std::rethrow_exception(failure);
  }
}

// check_with_devices over the rows of a statement: `read(rows, item)`
// makes an item of the current row.
template <class Item, class Read, class Check>
void check_rows_with_devices(const rf_device_table& devices, sqlite::statement& rows, Read read, Check check) {
  check_with_devices<Item>(
      devices,
      [&rows, &read](Item& item) {
        if (!rows.step()) return false;
        read(rows, item);
        return true;
      },
      check);
}

}  // namespace netkeep
