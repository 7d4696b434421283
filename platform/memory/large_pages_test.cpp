#include "platform/memory/large_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace netkeep::memory {
namespace {

// A vector that grows from heap pieces into large ones and back keeps its
// elements; under the sanitizers, each piece goes back to where it came from.
TEST(LargePageAllocator, AVectorGrowsAcrossTheLargeSizeAndShrinksBack) {
  std::vector<std::uint32_t, large_page_allocator<std::uint32_t>> values(1000);
  std::iota(values.begin(), values.end(), 0u);
  values.resize(3 * large_bytes / sizeof(std::uint32_t) + 5);
  std::iota(values.begin() + 1000, values.end(), 1000u);
  EXPECT_EQ(values[999], 999u);
  EXPECT_EQ(values.back(), values.size() - 1);
  values.resize(10);
  values.shrink_to_fit();
  EXPECT_EQ(values[9], 9u);
}

}  // namespace
}  // namespace netkeep::memory
