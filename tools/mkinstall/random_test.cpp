#include "tools/mkinstall/random.h"

#include <gtest/gtest.h>

namespace mkinstall {
namespace {

TEST(MkinstallRandom, IsSplitmix64) {
  // The published first outputs of splitmix64 seeded with 0.
  random rng(0);
  EXPECT_EQ(rng.next(), 0xe220a8397b1dcdafULL);
  EXPECT_EQ(rng.next(), 0x6e789e6aa1b965f4ULL);
}

TEST(MkinstallRandom, RangesStayInsideAndRepeatForASeed) {
  random a(7);
  random b(7);
  for (int i = 0; i < 1000; ++i) {
    const std::int64_t value = a.between(-3, 5);
    EXPECT_GE(value, -3);
    EXPECT_LE(value, 5);
    EXPECT_EQ(value, b.between(-3, 5));
  }
  EXPECT_EQ(a.bytes(13), b.bytes(13));
  EXPECT_EQ(a.bytes(13).size(), 13u);
}

}  // namespace
}  // namespace mkinstall
