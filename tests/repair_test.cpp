// `repair` end to end: the counts, the repair phase and "repairs complete",
// and missing database files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/network_fixture.h"
#include "tests/support/test_installation.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

const std::string cleared = "\r            \r";

class Repair : public ::testing::Test {
 protected:
  Repair() { install_network(installation); }

  test_installation installation;
};

TEST_F(Repair, WithoutProblemsOnlyTheCountsAreWritten) {
  const std::string before = database_bytes(installation);
  run_result r = installation.run({"repair"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, cleared + "\r" + summary(0, 0));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(database_bytes(installation), before);
}

TEST_F(Repair, UncorrectableProblemsAreCountedAndNothingIsChanged) {
  installation.set_registry(network_registry() + section("Bandwidth\\Satellites\\3") + "\n\"Name\"=\"Sat-C\"\n\n");
  const std::string before = database_bytes(installation);
  run_result r = installation.run({"repair"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, cleared + "\r" + summary(0, 1) + cleared + "repairs complete\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(database_bytes(installation), before);
  EXPECT_NE(installation.registry_text().find("Sat-C"), std::string::npos);
}

TEST_F(Repair, AFailingRepairStopsTheRepairsButKeepsTheEarlierOnes) {
  // Three correctable problems in repair order: the slot binding's link, then
  // the inband properties of sites 9 and 8 (in inband order), of which site
  // 9's key cannot be deleted because it has a subkey.
  const std::string property = "{41D79A62-C53D-45DB-8F45-F44649E27BB6}";
  installation.set_registry(network_registry() + section("Network\\Properties\\8\\" + property) +
                            "\n\"Id\"=\"15\"\n\n" + section("Network\\Properties\\9\\" + property) +
                            "\n\"Id\"=\"14\"\n\n" + section("Network\\Properties\\9\\" + property + "\\Kept") +
                            "\n\n");
  installation.sql("DeviceRedundancy.db", "UPDATE [slot.device_binding] SET logical_link = 'MOD-2' WHERE slot = 2");
  installation.sql("Network.db",
                   "INSERT INTO property VALUES (8, x'629AD7413DC5DB458F45F44649E27BB6', '15'),"
                   " (9, x'629AD7413DC5DB458F45F44649E27BB6', '14')");

  run_result r = installation.run({"repair"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, cleared + "\r" + summary(3, 0) + cleared + "An error occurred: Access is denied.\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(installation.query("DeviceRedundancy.db", "SELECT logical_link FROM [slot.device_binding] WHERE slot = 2"),
            std::vector<std::string>{"(none)"});
  EXPECT_EQ(installation.query("Network.db", "SELECT id FROM property ORDER BY id"),
            (std::vector<std::string>{"7", "8", "9"}));
  EXPECT_NE(installation.registry_text().find("Network\\Properties\\8\\" + property + "]"), std::string::npos);
}

TEST_F(Repair, AMissingDatabaseFileIsAnErrorAndNothingIsChanged) {
  std::filesystem::remove(installation.database("Network.db"));
  const std::string before = database_bytes(installation);
  run_result r = installation.run({"repair"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            cleared + "An error occurred: Database file not found: " + installation.database("Network.db").string() +
                "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(database_bytes(installation), before);
}

}  // namespace
}  // namespace netkeep::testing
