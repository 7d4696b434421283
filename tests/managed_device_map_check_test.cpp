// The managed device map check end to end: duplicate monikers, orphaned
// entries, and the repair that deletes an orphan no table uses any more.

#include <gtest/gtest.h>

#include "tests/support/network_fixture.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

class ManagedDeviceMapCheck : public ::testing::Test {
 protected:
  ManagedDeviceMapCheck() {
    install_network(installation);
    // GONE and OLD are no longer in the registry, OLD still has a modcod;
    // MOD-2 gets a second id.
    installation.sql("Switching.db",
                     "INSERT INTO managed_device_map VALUES (9, 'GONE'), (10, 'OLD'), (11, 'MOD-2');"
                     "INSERT INTO managed_device_modcod_map (device_id, modcod) VALUES (10, 4)");
  }
  test_installation installation;
};

TEST_F(ManagedDeviceMapCheck, VerifyListsDuplicatesBeforeOrphans) {
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out,
            problem_block("Multiple device id entries for 'MOD-2'.") +
                problem_block("Device 'GONE' (id: 9) in managed device map when not associated with a satellite.",
                              "Delete the managed device entry with the id 9") +
                problem_block("Device 'OLD' (id: 10) in managed device map when not associated with a satellite."));
  EXPECT_TRUE(r.err.ends_with("\n" + summary(1, 2))) << r.err;
  EXPECT_EQ(r.status, 0);
}

TEST_F(ManagedDeviceMapCheck, RepairDeletesTheUnusedOrphanOnly) {
  run_result r = installation.run({"repair"});
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(summary(1, 2)), std::string::npos) << r.err;
  EXPECT_TRUE(r.err.ends_with("repairs complete\n")) << r.err;
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(installation.query("Switching.db", "SELECT id FROM managed_device_map ORDER BY id"),
            (std::vector<std::string>{"1", "2", "3", "4", "10", "11"}));

  run_result again = installation.run({"verify"});
  EXPECT_TRUE(again.err.ends_with("\n" + summary(0, 2))) << again.err;
}

}  // namespace
}  // namespace netkeep::testing
