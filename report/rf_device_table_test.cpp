#include "report/rf_device_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/text/unicode.h"

namespace netkeep {
namespace {

// The multimap that the table stands for: entries by moniker in UTF-16
// order, equal monikers in the order added.
using oracle = std::multimap<std::wstring, rf_device_path, text::utf16_less>;

std::vector<std::pair<std::wstring, std::int64_t>> entries_of(const rf_device_table& table) {
  std::vector<std::pair<std::wstring, std::int64_t>> entries;
  for (const rf_device& device : table) entries.emplace_back(device.wide_moniker(), device.path.converter_id);
  return entries;
}

std::vector<std::pair<std::wstring, std::int64_t>> entries_of(const oracle& map) {
  std::vector<std::pair<std::wstring, std::int64_t>> entries;
  for (const auto& [moniker, path] : map) entries.emplace_back(moniker, path.converter_id);
  return entries;
}

// Monikers whose wide order differs from their UTF-16 order (a character
// above U+FFFF against one of U+E000 to U+FFFF), and texts of one another's
// prefixes.
const std::vector<std::wstring> monikers = {
    L"", L"a", L"ab", L"b", L"B", L"\uE000", L"\uFFFD", text::from_utf16(u"\U0001F600"),
    text::from_utf16(u"x\U0001F600"), L"x\uFFFD", L"\u00E9", L"dev-1", L"dev-10", L"dev-2",
};

TEST(RfDeviceTable, AppendedThenOrderedAsAMultimapInsertsThem) {
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    rf_device_table table;
    oracle expected;
    const int entries = static_cast<int>(random() % 200);
    for (int i = 0; i < entries; ++i) {
      const std::wstring& moniker = monikers[random() % monikers.size()];
      const rf_device_path path{1, 2, true, i};
      table.append(moniker, path);
      expected.emplace(moniker, path);
    }
    table.order();
    ASSERT_EQ(entries_of(table), entries_of(expected));
    for (const std::wstring& moniker : monikers) {
      const auto [first, end] = table.equal_range(moniker);
      const auto [map_first, map_end] = expected.equal_range(moniker);
      ASSERT_EQ(end - first, std::distance(map_first, map_end));
      if (first == end) {
        EXPECT_TRUE(first == table.end());
      }
      auto j = map_first;
      for (auto i = first; i != end; ++i, ++j) EXPECT_EQ(i->path.converter_id, j->second.converter_id);
    }
    EXPECT_EQ(table.count(L"dev-3"), 0u);
  }
}

TEST(RfDeviceTable, EmplaceKeepsTheOrderAndTheIndexFollows) {
  rf_device_table table;
  oracle expected;
  std::int64_t n = 0;
  for (const wchar_t* moniker : {L"m", L"a", L"m", L"z", L"a", L""}) {
    table.emplace(moniker, {0, 0, false, n});
    expected.emplace(moniker, rf_device_path{0, 0, false, n});
    ++n;
    EXPECT_EQ(entries_of(table), entries_of(expected));
    EXPECT_EQ(table.count(L"a"), expected.count(L"a"));
    EXPECT_EQ(table.count(L"m"), expected.count(L"m"));
  }
  table.clear();
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(table.count(L"m"), 0u);
}

TEST(RfDeviceTable, LongMonikersAndLookUpsBeforeOrderingFail) {
  rf_device_table table;
  const std::wstring long_moniker(40000, L'q');  // longer than a block
  table.append(L"b", {});
  table.append(long_moniker, {});
  EXPECT_EQ(table.count(long_moniker), 1u);
  EXPECT_EQ(table.begin()[1].wide_moniker(), long_moniker);
  table.append(L"a", {});
  EXPECT_THROW(table.equal_range(L"a"), std::logic_error);
  table.order();
  EXPECT_EQ(table.count(L"a"), 1u);
  EXPECT_EQ(table.begin()->wide_moniker(), L"a");
}

}  // namespace
}  // namespace netkeep
