// The allocation space check end to end: allocation spaces without a
// satellite or with several, and a missing table, which this check reports
// as a problem while the run goes on.

#include <gtest/gtest.h>

#include "tests/support/network_fixture.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

// Satellite 3 claims allocation space 200 as well.
const std::string third_satellite = section("Bandwidth\\Satellites\\3") +
                                    "\n\"Name\"=\"Sat-C\"\n\n" +
                                    section("Bandwidth\\Satellites\\3\\Properties\\"
                                            "{2C3FDB10-B500-4423-947A-16D2FECA7876}") +
                                    "\n\"Id\"=\"200\"\n";

TEST(AllocationSpaceCheck, SpacesWithoutOrWithSeveralSatellites) {
  test_installation installation;
  install_network(installation, third_satellite);
  installation.sql("Switching.db", "INSERT INTO allocation_space (id) VALUES (300)");
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out, problem_block("The allocation space with the id 200 is associated with the satellites with the ids 2, 3") +
                       problem_block("The allocation space with the id 300 is not associated with a satellite."));
  EXPECT_TRUE(r.err.ends_with("\n" + summary(0, 2))) << r.err;
  EXPECT_EQ(r.status, 0);

  run_result repair = installation.run({"repair"});
  EXPECT_NE(repair.err.find(summary(0, 2)), std::string::npos) << repair.err;
  EXPECT_TRUE(repair.err.ends_with("repairs complete\n")) << repair.err;
  EXPECT_EQ(installation.query("Switching.db", "SELECT id FROM allocation_space ORDER BY id"),
            (std::vector<std::string>{"100", "200", "300"}));
}

TEST(AllocationSpaceCheck, MissingTableIsAProblemAndTheRunGoesOn) {
  test_installation installation;
  install_network(installation);
  installation.sql("Switching.db",
                   "DROP TABLE allocation_space;"
                   "INSERT INTO allocatable_device VALUES (100, 'modulator', 'GONE-MOD', 1, 0)");
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out,
            problem_block("A low level error occurred while attempting the scan switching engine allocationspaces. "
                          "The description of the error is \"no such table: allocation_space\".") +
                problem_block("The allocatable device 'GONE-MOD' is no longer associated with an allocation space.",
                              "Delete the allocatable device 'GONE-MOD' from the satellite 'Sat-A'."));
  EXPECT_TRUE(r.err.ends_with("\n" + summary(1, 1))) << r.err;
  EXPECT_EQ(r.status, 0);
}

}  // namespace
}  // namespace netkeep::testing
