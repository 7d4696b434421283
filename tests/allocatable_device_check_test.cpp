// The allocatable device check end to end: devices gone from the registry,
// devices on another satellite, duplicate entries, and the repair that
// deletes exactly the failing rows.

#include <gtest/gtest.h>

#include "tests/support/network_fixture.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

class AllocatableDeviceCheck : public ::testing::Test {
 protected:
  AllocatableDeviceCheck() {
    install_network(installation);
    installation.sql("Switching.db",
                     "INSERT INTO allocatable_device VALUES"
                     " (100, 'modulator', 'GONE-MOD', 1, 0),"     // not in the registry
                     " (200, 'modulator', 'MOD-1', 2, 0),"        // MOD-1 is on Sat-A (100)
                     " (100, 'modulator', 'MOD-1', 3, 0),"        // a second entry of a valid row
                     " (100, 'demodulator', 'OLD-DEMOD', 1, 0);"  // still allocated
                     "INSERT INTO device_allocation VALUES (5, 'OLD-DEMOD')");
  }
  test_installation installation;
};

TEST_F(AllocatableDeviceCheck, VerifyListsEveryFailingRow) {
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out,
            problem_block("The allocatable device 'GONE-MOD' is no longer associated with an allocation space.",
                          "Delete the allocatable device 'GONE-MOD' from the satellite 'Sat-A'.") +
                problem_block("The allocatable device 'MOD-1' is no longer associated with the satellite 'Sat-B'.",
                              "Delete the allocatable device 'MOD-1' from the satellite 'Sat-B'.") +
                problem_block("The allocatable device 'MOD-1' on satellite 'Sat-A' has a duplicate entry.",
                              "Delete the allocatable device 'MOD-1' from the satellite 'Sat-A'.") +
                problem_block("The allocatable device 'OLD-DEMOD' is no longer associated with an allocation space."));
  EXPECT_TRUE(r.err.ends_with("\n" + summary(3, 1))) << r.err;
  EXPECT_EQ(r.status, 0);
}

TEST_F(AllocatableDeviceCheck, RepairDeletesTheCorrectableRows) {
  run_result r = installation.run({"repair"});
  EXPECT_NE(r.err.find(summary(3, 1)), std::string::npos) << r.err;
  EXPECT_TRUE(r.err.ends_with("repairs complete\n")) << r.err;
  EXPECT_EQ(installation.query("Switching.db",
                               "SELECT allocation_space, moniker, port FROM allocatable_device ORDER BY rowid"),
            (std::vector<std::string>{"100|MOD-1|1", "100|DEMOD-1|1", "200|MOD-2|1", "200|DEMOD-2|1",
                                      "100|OLD-DEMOD|1"}));
}

}  // namespace
}  // namespace netkeep::testing
