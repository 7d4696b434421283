#include "checks/configuration/duplicate_runs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace netkeep {
namespace {

using table = std::multimap<std::int64_t, std::string>;
using entry = table::value_type;

bool same_key(const entry& a, const entry& b) { return a.first == b.first; }

// Each run as "key:value,value,...".
std::vector<std::string> runs_of(const table& t) {
  std::vector<std::string> runs;
  for_each_duplicate_run(t, same_key, [&](table::const_iterator first, table::const_iterator end) {
    std::string run = std::to_string(first->first) + ":";
    for (auto i = first; i != end; ++i) run += (i == first ? "" : ",") + i->second;
    runs.push_back(run);
  });
  return runs;
}

TEST(DuplicateRuns, RunsComeInKeyOrderWithTheirEntriesInInsertionOrder) {
  table t;
  for (auto [key, value] : std::vector<std::pair<std::int64_t, std::string>>{
           {7, "a"}, {3, "b"}, {7, "c"}, {-2, "d"}, {3, "e"}, {7, "f"}, {5, "g"}}) {
    t.insert({key, value});
  }
  EXPECT_EQ(runs_of(t), (std::vector<std::string>{"3:b,e", "7:a,c,f"}));
}

TEST(DuplicateRuns, RunsOfOneAreSkipped) {
  EXPECT_TRUE(runs_of(table{}).empty());
  EXPECT_TRUE(runs_of(table{{1, "a"}, {2, "b"}, {3, "c"}}).empty());
  EXPECT_EQ(runs_of(table{{1, "a"}, {2, "b"}, {2, "c"}, {3, "d"}}), (std::vector<std::string>{"2:b,c"}));
}

TEST(DuplicateRuns, TheWalkFollowsThePredicateNotTheKeys) {
  // Keys within ten of each other count as one run here.
  const table t{{1, "a"}, {5, "b"}, {20, "c"}, {29, "d"}, {40, "e"}};
  std::vector<std::int64_t> starts;
  for_each_duplicate_run(
      t, [](const entry& a, const entry& b) { return b.first - a.first < 10; },
      [&](table::const_iterator first, table::const_iterator) { starts.push_back(first->first); });
  EXPECT_EQ(starts, (std::vector<std::int64_t>{1, 20}));
}

TEST(DuplicateRuns, AnEmptyPredicateFailsAtTheFirstComparison) {
  const std::function<bool(const entry&, const entry&)> none;
  int handled = 0;
  auto handler = [&](table::const_iterator, table::const_iterator) { ++handled; };
  // No comparison is needed for an empty table or a single entry.
  EXPECT_NO_THROW(for_each_duplicate_run(table{}, none, handler));
  EXPECT_NO_THROW(for_each_duplicate_run(table{{1, "a"}}, none, handler));
  EXPECT_THROW(for_each_duplicate_run(table{{1, "a"}, {2, "b"}}, none, handler), std::bad_function_call);
  EXPECT_EQ(handled, 0);
}

}  // namespace
}  // namespace netkeep
