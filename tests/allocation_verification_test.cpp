// Allocations of one allocator on one allocation space, and allocations
// off the device's allocation spaces, found by `verify` in a real
// installation and mended by `repair`.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/configuration_network.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

class AllocationVerification : public ::testing::Test {
 protected:
  test_installation installation;
};

const std::string misplaced_tail = "'. This is not the allocation space the device is currently associated with.\n    ";

TEST_F(AllocationVerification, EveryKindOfAllocationProblem) {
  // M3 is listed twice on North; M9 is a managed device that the registry
  // does not know; allocator 40 is not a managed device at all.
  install_configuration_network(installation, R"(
[$\Bandwidth\Satellites\3\Antennas\30\DownConverters\2\Demodulators]
"0"="M3"
)",
                                "INSERT INTO managed_device_map (id, moniker) VALUES (12, 'M9');"
                                "INSERT INTO allocation (id, allocator, allocation_space) VALUES "
                                "(42, 40, 3), (8, 9, 3), (20, 12, 3), (30, 11, 7), (6, 9, 7), (5, 9, 3), (41, 40, 3);");

  run_result verify = installation.run({"verify"});
  const std::string error =
      "Encountered an error while attempting to verify the validity of the allocation with the id ";
  EXPECT_EQ(
      verify.out,
      problem_block("Device 'M9' (id: 12) in managed device map when not associated with a satellite.") +
          problem_block("Multiple allocations where detected for 'M1'. The allocations where:\n"
                        "\t5 on allocation space 3.\n"
                        "\t8 on allocation space 3.\n") +
          problem_block("An allocation with the id 6 located in the allocation space 'West' was found for 'M1" +
                            misplaced_tail + "The currently associated allocation space has the id of 3.",
                        "Delete the allocation with the id 6") +
          problem_block("An allocation with the id 30 located in the allocation space 'West' was found for 'M3" +
                            misplaced_tail + "There currently multiple associated allocation spaces.",
                        "Delete the allocation with the id 30") +
          problem_block("An allocation with the id 20 located in the allocation space 'East' was found for 'M9" +
                            misplaced_tail + "There is no allocated space currently associated with this device.",
                        "Delete the allocation with the id 20") +
          problem_block("Multiple allocations where detected for '<unknown(40)>'. The allocations where:\n"
                        "\t41 on allocation space 3.\n"
                        "\t42 on allocation space 3.\n") +
          problem_block(error + "41 made by the allocator with the id 40 on the allocation space with the id 3. The "
                                "description of the error is \"Allocator not found in managed device map.\".") +
          problem_block(error + "42 made by the allocator with the id 40 on the allocation space with the id 3. The "
                                "description of the error is \"Allocator not found in managed device map.\"."));
  EXPECT_TRUE(verify.err.ends_with("\n" + summary(3, 5))) << verify.err;
  EXPECT_EQ(verify.status, 0);

  run_result repair = installation.run({"repair"});
  EXPECT_TRUE(repair.err.ends_with(repair_ending(3, 5))) << repair.err;
  EXPECT_EQ(installation.query("Switching.db", "SELECT id FROM allocation ORDER BY id"),
            (std::vector<std::string>{"5", "8", "41", "42"}));
}

TEST_F(AllocationVerification, RepairRelinksTheChainsAroundEachDeletedAllocation) {
  // M1 belongs on allocation space 3; its allocations on 7 go. Chains
  // (past, future): 1 -> 2 -> 3 loses its middle, 4 -> 5 its head, 6 -> 7
  // its tail, and 8 is alone.
  install_configuration_network(installation, "",
                                "INSERT INTO allocation (id, allocator, allocation_space, past, future) VALUES "
                                "(1, 9, 3, 0, 2), (2, 9, 7, 1, 3), (3, 9, 3, 2, 0), (4, 9, 7, 0, 5), (5, 9, 3, 4, 0), "
                                "(6, 9, 3, 0, 7), (7, 9, 7, 6, 0), (8, 9, 7, 0, 0);");
  run_result repair = installation.run({"repair"});
  EXPECT_TRUE(repair.err.ends_with(repair_ending(4, 2))) << repair.err;
  EXPECT_EQ(installation.query("Switching.db", "SELECT id, past, future FROM allocation ORDER BY id"),
            (std::vector<std::string>{"1|0|3", "3|1|0", "5|0|0", "6|0|0"}));
}

TEST_F(AllocationVerification, AMissingAllocationTableIsOneProblemAndTheRunGoesOn) {
  install_configuration_network(installation, "",
                                "DROP TABLE allocation;"
                                "INSERT INTO unrecovered_resources (managed_device, allocation_space) VALUES (17, 3);");
  run_result verify = installation.run({"verify"});
  EXPECT_EQ(
      verify.out,
      problem_block("A low level error occurred while attempting the scan switching engine allocations. The error "
                    "reported was: no such table: allocation") +
          problem_block("A set of unrecovered resources was detected that are not associated with a managed device.",
                        "Delete the unrecovered resources on the allocation space with the id 3 associated with the "
                        "managed device with the id 17"));
  EXPECT_TRUE(verify.err.ends_with("\n" + summary(1, 1))) << verify.err;
}

}  // namespace
}  // namespace netkeep::testing
