#include "tools/mkinstall/faults.h"

#include <gtest/gtest.h>

#include <set>

#include "tools/mkinstall/options.h"

namespace mkinstall {
namespace {

TEST(MkinstallFaults, NamesAreUniqueAndDescribed) {
  std::set<std::string> names;
  for (const fault& f : all_faults()) {
    EXPECT_TRUE(names.insert(f.name).second) << f.name;
    EXPECT_NE(std::string(f.summary), "");
    EXPECT_NE(f.inject, nullptr);
    EXPECT_EQ(std::string(f.name).find_first_of(" ,"), std::string::npos);
  }
}

TEST(MkinstallFaults, SelectionKeepsTableOrderAndRejectsUnknownNames) {
  EXPECT_TRUE(select_faults("none").empty());
  EXPECT_EQ(select_faults("all").size(), all_faults().size());

  const auto picked = select_faults("reservation-unknown-device,unused-managed-device,unused-managed-device");
  ASSERT_EQ(picked.size(), 2u);
  EXPECT_STREQ(picked[0]->name, "unused-managed-device");
  EXPECT_STREQ(picked[1]->name, "reservation-unknown-device");

  EXPECT_THROW(select_faults("unused-managed-device,nonsense"), usage_error);
  EXPECT_THROW(select_faults("unused-managed-device,"), usage_error);
}

TEST(MkinstallFaults, EnoughSitesForTheVictimsAndACleanSitePerAntenna) {
  EXPECT_EQ(sites_needed({}), 1);
  const auto all = select_faults("all");
  std::int64_t victims = 0;
  for (const fault* f : all) victims += f->victim_sites;
  const std::int64_t needed = sites_needed(all);
  EXPECT_GT(needed, victims + satellite_count(needed) * antennas_per_satellite(needed));
  EXPECT_LE(needed, 100);  // the demo's and the tests' size
}

}  // namespace
}  // namespace mkinstall
