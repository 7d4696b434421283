#include "tools/mkinstall/options.h"

#include <gtest/gtest.h>

namespace mkinstall {
namespace {

TEST(MkinstallOptions, CreateWithEveryOption) {
  const options o = parse_options(
      {"create", "demo", "--sites", "250", "--seed", "42", "--faults", "unused-managed-device,duplicate-allocations",
       "--no-indexes"});
  EXPECT_EQ(o.command, command_word::create);
  EXPECT_EQ(o.directory, "demo");
  EXPECT_EQ(o.sites, 250);
  EXPECT_EQ(o.seed, 42u);
  EXPECT_EQ(o.faults, "unused-managed-device,duplicate-allocations");
  EXPECT_FALSE(o.with_indexes);
}

TEST(MkinstallOptions, DefaultsAndOtherCommands) {
  const options create = parse_options({"create", "--seed", "3", "x"});
  EXPECT_EQ(create.directory, "x");
  EXPECT_EQ(create.sites, 100);
  EXPECT_EQ(create.faults, "none");
  EXPECT_TRUE(create.with_indexes);

  EXPECT_EQ(parse_options({"init", "site-a"}).command, command_word::init);
  EXPECT_EQ(parse_options({"faults"}).command, command_word::faults);
}

TEST(MkinstallOptions, MalformedCommandLinesAreUsageErrors) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"build", "x"},
      {"create"},
      {"create", "a", "b"},
      {"create", "x", "--sites"},
      {"create", "x", "--sites", "0"},
      {"create", "x", "--sites", "12k"},
      {"create", "x", "--seed", "-1"},
      {"create", "x", "--faults", ""},
      {"create", "x", "--colour"},
      {"init", "x", "--sites", "5"},
      {"faults", "extra"},
  };
  for (const auto& words : bad) {
    EXPECT_THROW(parse_options(words), usage_error) << (words.empty() ? "(nothing)" : words[0]) << " "
                                                    << words.size();
  }
}

}  // namespace
}  // namespace mkinstall
