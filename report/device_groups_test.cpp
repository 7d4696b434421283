#include "report/device_groups.h"

#include <gtest/gtest.h>

#include <array>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace netkeep {
namespace {

struct item {
  int number = 0;
  std::wstring moniker;
};

// The message of the runtime error that `walk` ends with; empty when none.
template <class Walk>
std::string error_of(Walk walk) {
  try {
    walk();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return {};
}

// A walk of several groups gives each item its own entries, and ends as a
// walk of one item at a time would: a failing item after the items before
// it are checked, a failing check at once.
TEST(DeviceGroups, ChecksEachItemWithItsEntriesAndEndsWhereOneAtATimeWould) {
  rf_device_table devices;
  for (int i = 0; i < 100; ++i) devices.append(L"DEV-" + std::to_wstring(i % 40), {i, 0, false, 0});
  devices.order();

  for (const int failing_item : {-1, 0, 15, 16, 37}) {
    for (const int failing_check : {-1, 5, 16}) {
      int made = 0;
      std::vector<int> checked;
      const auto next = [&](item& it) {
        if (made == 60) return false;
        if (made == failing_item) throw std::runtime_error("item");
        it.number = made;
        it.moniker = L"DEV-" + std::to_wstring(made);  // DEV-40 and above are no device
        ++made;
        return true;
      };
      const auto check = [&](const item& it, const rf_device_table::range& entries) {
        if (it.number == failing_check) throw std::runtime_error("check");
        const auto expected = devices.equal_range(it.moniker);
        EXPECT_TRUE(entries == expected) << it.number;
        checked.push_back(it.number);
      };
      const std::string error = error_of([&] { check_with_devices<item>(devices, next, check); });
      // Items 0 to end - 1 pass their checks.
      const int made_items = failing_item >= 0 ? failing_item : 60;
      const bool check_fails = failing_check >= 0 && failing_check < made_items;
      const int end = check_fails ? failing_check : made_items;
      EXPECT_EQ(error, check_fails ? "check" : failing_item >= 0 ? "item" : "") << failing_item << " " << failing_check;
      ASSERT_EQ(checked.size(), static_cast<std::size_t>(end)) << failing_item << " " << failing_check;
      for (int i = 0; i < end; ++i) EXPECT_EQ(checked[i], i);
    }
  }
}

struct item_of_four {
  int number = 0;
  std::array<std::wstring, 4> monikers;
};

// Items of several monikers each: every moniker gets its own entries, the
// groups holding fewer items, and a failing item still ends the walk after
// the items before it.
TEST(DeviceGroups, ItemsOfSeveralMonikersGetTheEntriesOfEach) {
  rf_device_table devices;
  for (int i = 0; i < 100; ++i) devices.append(L"DEV-" + std::to_wstring(i % 40), {i, 0, false, 0});
  devices.order();

  for (const int failing_item : {-1, 3, 4, 9}) {
    int made = 0;
    std::vector<int> checked;
    const auto next = [&](item_of_four& it) {
      if (made == 13) return false;
      if (made == failing_item) throw std::runtime_error("item");
      it.number = made;
      for (int k = 0; k < 4; ++k) it.monikers[k] = L"DEV-" + std::to_wstring(made * 7 + k * 3);
      ++made;
      return true;
    };
    const auto check = [&](const item_of_four& it, std::span<const rf_device_table::range, 4> entries) {
      for (int k = 0; k < 4; ++k) EXPECT_TRUE(entries[k] == devices.equal_range(it.monikers[k])) << it.number << k;
      checked.push_back(it.number);
    };
    const std::string error = error_of([&] { check_with_devices<item_of_four>(devices, next, check); });
    const int end = failing_item >= 0 ? failing_item : 13;
    EXPECT_EQ(error, failing_item >= 0 ? "item" : "");
    ASSERT_EQ(checked.size(), static_cast<std::size_t>(end)) << failing_item;
    for (int i = 0; i < end; ++i) EXPECT_EQ(checked[i], i);
  }
}

}  // namespace
}  // namespace netkeep
