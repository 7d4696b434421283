#include "checks/configuration/key_numbers.h"

#include <gtest/gtest.h>

#include <limits>

namespace netkeep {
namespace {

TEST(KeyNumbers, ConvertLikeTheCLibrary) {
  EXPECT_EQ(key_number64(L"5"), 5);
  EXPECT_EQ(key_number64(L"05"), 5);
  EXPECT_EQ(key_number64(L"  -3"), -3);
  EXPECT_EQ(key_number64(L"+12abc"), 12);
  EXPECT_EQ(key_number64(L"abc"), 0);
  EXPECT_EQ(key_number64(L""), 0);
  EXPECT_EQ(key_number64(L"9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(key_number64(L"99999999999999999999"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(key_number64(L"-99999999999999999999"), std::numeric_limits<std::int64_t>::min());
}

TEST(KeyNumbers, ThirtyTwoBitNamesSaturateAtTheirOwnLimits) {
  EXPECT_EQ(key_number32(L"2147483647"), 2147483647);
  EXPECT_EQ(key_number32(L"2147483648"), 2147483647);
  EXPECT_EQ(key_number32(L"99999999999999999999"), 2147483647);
  EXPECT_EQ(key_number32(L"-2147483648"), -2147483648LL);
  EXPECT_EQ(key_number32(L"-2147483649"), -2147483648LL);
  EXPECT_EQ(key_number32(L" -7x"), -7);
}

}  // namespace
}  // namespace netkeep
