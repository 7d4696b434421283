// Bandwidth reservations, preallocations and unrecovered resources that no
// longer fit the network, found by `verify` in a real installation and
// mended by `repair`.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/configuration_network.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

class ReservationVerification : public ::testing::Test {
 protected:
  test_installation installation;
};

TEST_F(ReservationVerification, ReservationsOfDevicesThatAreNoLongerValid) {
  // M2 (10) is used by an out-of-band state; M1 (9) by nothing; 12 is no
  // managed device. M1's rows 1-2 and 4 are two runs.
  install_configuration_network(installation, "",
                                "INSERT INTO outofband_state (device, state) VALUES ('M2', 1);"
                                "INSERT INTO bandwidth_reservation (allocation_space, managed_device) VALUES "
                                "(3, 9), (3, 9), (7, 10), (3, 9), (3, 12);"
                                "INSERT INTO preallocation (allocator, allocation_space) VALUES (9, 3), (10, 7);");
  run_result verify = installation.run({"verify"});
  const std::string invalid = problem_block(
      "One or more reservations for the allocator M1 refer to a device that is no longer a valid managed device",
      "Delete the reservation for the allocator with the id 9");
  EXPECT_EQ(verify.out,
            invalid + invalid +
                problem_block("One or more reservations for the allocator <unknown(12)> refer to a device that is "
                              "not present in the managed device map"));
  EXPECT_TRUE(verify.err.ends_with("\n" + summary(2, 1))) << verify.err;

  run_result repair = installation.run({"repair"});
  EXPECT_TRUE(repair.err.ends_with(repair_ending(2, 1))) << repair.err;
  EXPECT_EQ(installation.query("Switching.db", "SELECT allocation_space, managed_device FROM bandwidth_reservation"),
            (std::vector<std::string>{"7|10", "3|12"}));
  EXPECT_EQ(installation.query("Switching.db", "SELECT allocator, allocation_space FROM preallocation"),
            (std::vector<std::string>{"10|7"}));
}

TEST_F(ReservationVerification, PreallocationsOnVanishedOrForeignAllocationSpaces) {
  install_configuration_network(
      installation, "",
      "INSERT INTO preallocation (allocator, allocation_space) VALUES (9, 40), (10, 7), (9, 7), (11, 3);");
  run_result verify = installation.run({"verify"});
  EXPECT_EQ(
      verify.out,
      problem_block("A preallocation for the allocator 'M1 exists on an allocation space '40' which no longer exists.",
                    "Delete the pre-allocation for the allocator with the id 9") +
          problem_block("A preallocation for the allocator 'M1 exists on an allocation space 'West' which it is no "
                        "longer associated with.",
                        "Delete the pre-allocation for the allocator with the id 9") +
          problem_block("A preallocation for the allocator 'M3 exists on an allocation space 'East' which it is no "
                        "longer associated with.",
                        "Delete the pre-allocation for the allocator with the id 11"));
  EXPECT_TRUE(verify.err.ends_with("\n" + summary(3, 0))) << verify.err;

  run_result repair = installation.run({"repair"});
  EXPECT_TRUE(repair.err.ends_with(repair_ending(3, 0))) << repair.err;
  EXPECT_EQ(installation.query("Switching.db", "SELECT allocator, allocation_space FROM preallocation"),
            (std::vector<std::string>{"10|7"}));
}

TEST_F(ReservationVerification, APreallocationOfAnUnknownAllocatorEndsTheRun) {
  install_configuration_network(installation, "",
                                "INSERT INTO preallocation (allocator, allocation_space) VALUES (9, 40), (50, 3);");
  for (const char* command : {"verify", "repair"}) {
    run_result r = installation.run({command});
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.ends_with("An error occurred: Allocator not found in managed device map.\n")) << r.err;
    EXPECT_EQ(r.status, 1);
  }
  EXPECT_EQ(installation.query("Switching.db", "SELECT count(*) FROM preallocation"), (std::vector<std::string>{"2"}));
}

TEST_F(ReservationVerification, UnrecoveredResourcesWithoutADeviceOrOffItsAllocationSpaces) {
  install_configuration_network(installation, "",
                                "INSERT INTO unrecovered_resources (managed_device, allocation_space) VALUES "
                                "(17, 3), (9, 7), (9, 3), (10, 7);");
  run_result verify = installation.run({"verify"});
  EXPECT_EQ(
      verify.out,
      problem_block("A set of unrecovered resources was detected that are not associated with a managed device.",
                    "Delete the unrecovered resources on the allocation space with the id 3 associated with the "
                    "managed device with the id 17") +
          problem_block("A set of unrecovered resources is on an allocation space 'West' that the managed device M1 is "
                        "not currently associated with.",
                        "Delete the unrecovered resources on the allocation space with the id 7 associated with the "
                        "managed device with the id 9"));
  EXPECT_TRUE(verify.err.ends_with("\n" + summary(2, 0))) << verify.err;

  run_result repair = installation.run({"repair"});
  EXPECT_TRUE(repair.err.ends_with(repair_ending(2, 0))) << repair.err;
  EXPECT_EQ(installation.query("Switching.db",
                               "SELECT managed_device, allocation_space FROM unrecovered_resources ORDER BY rowid"),
            (std::vector<std::string>{"9|3", "10|7"}));
}

}  // namespace
}  // namespace netkeep::testing
