#include "report/moniker_index.h"

#include <gtest/gtest.h>

#include <array>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/text/unicode.h"

namespace netkeep {
namespace {

using table = std::multimap<std::wstring, int, text::utf16_less>;

// The values of a range, in order.
std::vector<int> values(std::pair<table::const_iterator, table::const_iterator> range) {
  std::vector<int> result;
  for (auto i = range.first; i != range.second; ++i) result.push_back(i->second);
  return result;
}

// An absent moniker gives the empty range at the table's end.
TEST(MonikerIndex, GivesTheTablesOwnRangesOfExactMonikers) {
  table devices;
  for (int i = 0; i < 2000; ++i) devices.emplace(L"DEV-" + std::to_wstring(i % 700), i);
  devices.emplace(L"", -1);
  devices.emplace(L"dev-1", -2);
  devices.emplace(text::from_utf16(u"\U0001F600"), -3);
  for (int i = 0; i < 300; ++i) devices.emplace(L"MANY", 3000 + i);  // more than a slot counts
  moniker_index<table> index;
  // More than one group of side by side look-ups.
  std::vector<std::wstring> monikers = {L"DEV-0", L"DEV-1", L"DEV-699", L"dev-1", L"",    L"DEV-700",
                                        L"DEV-",  L"DEV-1 ", L"\U0001F600", L"MANY", L"DEV-0"};
  for (int i = 0; i < 30; ++i) monikers.push_back(L"DEV-" + std::to_wstring(i * 37));
  const std::vector<std::wstring_view> views(monikers.begin(), monikers.end());
  // One at a time, and all side by side.
  std::vector<std::pair<table::const_iterator, table::const_iterator>> side_by_side(views.size());
  index.equal_ranges(devices, views, side_by_side);
  for (std::size_t i = 0; i < monikers.size(); ++i) {
    const std::wstring moniker(monikers[i]);
    auto expected = devices.equal_range(moniker);
    if (expected.first == expected.second) expected = {devices.end(), devices.end()};
    const auto found = index.equal_range(devices, moniker);
    EXPECT_TRUE(found.first == expected.first && found.second == expected.second) << text::to_utf8(moniker);
    EXPECT_TRUE(side_by_side[i] == found) << text::to_utf8(moniker);
  }
  EXPECT_EQ(values(index.equal_range(devices, L"DEV-5")), (std::vector<int>{5, 705, 1405}));
}

TEST(MonikerIndex, FollowsATableThatGrowsAndAnotherTable) {
  table first;
  moniker_index<table> index;
  EXPECT_TRUE(values(index.equal_range(first, L"A")).empty());  // an empty table

  first.emplace(L"A", 1);
  EXPECT_EQ(values(index.equal_range(first, L"A")), std::vector<int>{1});
  first.emplace(L"B", 2);
  first.emplace(L"A", 3);
  EXPECT_EQ(values(index.equal_range(first, L"A")), (std::vector<int>{1, 3}));
  EXPECT_EQ(values(index.equal_range(first, L"B")), std::vector<int>{2});

  table second{{L"A", 9}};
  EXPECT_EQ(values(index.equal_range(second, L"A")), std::vector<int>{9});
  EXPECT_TRUE(values(index.equal_range(second, L"B")).empty());
  EXPECT_EQ(index.equal_range(second, L"B").first, second.end());
}

}  // namespace
}  // namespace netkeep
