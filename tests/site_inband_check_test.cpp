// The site data loading and the site inband check end to end: site names in
// problem texts, inband properties that name a missing inband, and the repair
// that deletes such a property from the registry and from Network.db.

#include <gtest/gtest.h>

#include "tests/support/network_fixture.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

const std::string inband_property_key = "{41D79A62-C53D-45DB-8F45-F44649E27BB6}";

// Sites 8 and 9 name inbands 15 and 14, which do not exist.
const std::string broken_sites =
    section("Network\\Properties\\8\\" + inband_property_key) + "\n\"Id\"=\"15\"\n\n" +
    section("Network\\Properties\\9\\" + inband_property_key) + "\n\"Id\"=\"14\"\n";

class SiteInbandCheck : public ::testing::Test {
 protected:
  SiteInbandCheck() {
    install_network(installation, broken_sites);
    // A site_data without a key, so that site 8 can have two rows: the first
    // one names it.
    installation.sql("Network.db",
                     "DROP TABLE site_data;"
                     "CREATE TABLE site_data (id INTEGER, site_name TEXT);"
                     "INSERT INTO site_data VALUES (7, 'North'), (8, 'South'), (8, 'Other');"
                     "INSERT INTO property VALUES"
                     " (8, x'629AD7413DC5DB458F45F44649E27BB6', '15'), (8, x'00', 'other property'),"
                     " (9, x'629AD7413DC5DB458F45F44649E27BB6', '14')");
  }
  test_installation installation;
};

TEST_F(SiteInbandCheck, VerifyListsSitesInInbandOrder) {
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out, problem_block("The site (id: 9) refers to a non existent inband (id: 14)",
                                 "Delete the inband property entry for the site with the id 9") +
                       problem_block("The site 'South' (id: 8) refers to a non existent inband (id: 15)",
                                     "Delete the inband property entry for the site with the id 8"));
  EXPECT_TRUE(r.err.ends_with("\n" + summary(2, 0))) << r.err;
  EXPECT_EQ(r.status, 0);
}

TEST_F(SiteInbandCheck, RepairDeletesThePropertyKeyAndRow) {
  run_result r = installation.run({"repair"});
  EXPECT_NE(r.err.find(summary(2, 0)), std::string::npos) << r.err;
  EXPECT_TRUE(r.err.ends_with("repairs complete\n")) << r.err;
  const std::string hive = installation.registry_text();
  EXPECT_EQ(hive.find("Network\\Properties\\8\\" + inband_property_key), std::string::npos) << hive;
  EXPECT_EQ(hive.find("Network\\Properties\\9\\" + inband_property_key), std::string::npos) << hive;
  EXPECT_NE(hive.find("Network\\Properties\\7\\" + inband_property_key), std::string::npos) << hive;
  EXPECT_EQ(installation.query("Network.db", "SELECT id, hex(property_name) FROM property ORDER BY id, property_name"),
            (std::vector<std::string>{"7|629AD7413DC5DB458F45F44649E27BB6", "8|00"}));

  run_result again = installation.run({"verify"});
  EXPECT_EQ(again.err.find("Errors Detected"), std::string::npos) << again.err;
  EXPECT_NE(again.err.find("No problems detected.\n"), std::string::npos) << again.err;
}

}  // namespace
}  // namespace netkeep::testing
