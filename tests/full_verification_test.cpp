// One installation in which every check finds something: `verify` lists the
// problems in the fixed order of the checks, `repair` mends every
// correctable one, and a second `verify` finds only the uncorrectable ones.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/configuration_network.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

// Satellite 4 has no allocation space. Antenna 4 is under East and West;
// the managed modulator MM of inband 2 sits on it below West, and its home
// demodulator D2 is on West too. MD is on Dish-E and on Dish-W. Site 100
// (Alpha) has inband 1, site 101 (Beta) names inband 99, which does not
// exist.
const std::string damaged_registry = R"(
[$\Bandwidth\Satellites\1\Antennas\4]
"Name"="Dish-1"

[$\Bandwidth\Satellites\1\Antennas\10\UpConverters\1\Modulators]
"1"="MD"

[$\Bandwidth\Satellites\2\Antennas\4]
"Name"="Dish-1"

[$\Bandwidth\Satellites\2\Antennas\4\UpConverters\1\Modulators]
"0"="MM"

[$\Bandwidth\Satellites\2\Antennas\20\DownConverters\1\Demodulators]
"1"="MD"

[$\Bandwidth\Satellites\4]
"Name"="Lost"

[$\Network\Properties\100\{41D79A62-C53D-45DB-8F45-F44649E27BB6}]
"Id"="1"

[$\Network\Properties\101\{41D79A62-C53D-45DB-8F45-F44649E27BB6}]
"Id"="99"
)";

const std::string damaged_switching =
    // Inband 1's managed modulator is unknown; inbands 7 and 8, which have no
    // state, both use device 9.
    "INSERT INTO inband_state (id) VALUES (1), (2);"
    "INSERT INTO inband_channel (inband, number, device, home_device) VALUES "
    "(1, 0, 'GHOST', '(none)'), (2, 0, 'MM', 'D2'), (7, 0, '9', '(none)'), (8, 0, '9', '(none)');"
    // M2 has two ids; M9 is known to no satellite and used by nothing.
    "INSERT INTO managed_device_map (id, moniker) VALUES (13, 'M2'), (12, 'M9');"
    "INSERT INTO allocation_space (id) VALUES (50);"
    "INSERT INTO allocation (id, allocator, allocation_space, past, future) VALUES (6, 9, 7, 0, 0);"
    "INSERT INTO allocatable_device (allocation_space, device_type, moniker) VALUES (3, 'modulator', 'NOPE');"
    "INSERT INTO unrecovered_resources (managed_device, allocation_space) VALUES (17, 3);"
    "INSERT INTO preallocation (allocator, allocation_space) VALUES (9, 40);"
    "INSERT INTO bandwidth_reservation (allocation_space, managed_device) VALUES (3, 9);";

class FullVerification : public ::testing::Test {
 protected:
  void SetUp() override {
    install_configuration_network(installation, damaged_registry, damaged_switching);
    installation.sql("Network.db", "INSERT INTO site_data (id, site_name) VALUES (100, 'Alpha'), (101, 'Beta');");
    installation.sql("DeviceRedundancy.db",
                     "INSERT INTO slot (id, [group], role) VALUES (12, 3, 1);"
                     "INSERT INTO [slot.device_binding] ([group], slot, device, logical_link) "
                     "VALUES (3, 12, 'D7', 'L1');"
                     "INSERT INTO device_configuration (device, configuration) VALUES ('L1', x'01'), ('D7', x'02');");
  }
  test_installation installation;
};

const std::string lost_satellite =
    problem_block("The satellite 'Lost' does not have an allocation space associated with it.");
const std::string rf_chains = problem_block("The device with the moniker 'MD' is associated with multiple RF chains.");
const std::string duplicate_ids = problem_block("Multiple device id entries for 'M2'.");
const std::string orphan_space =
    problem_block("The allocation space with the id 50 is not associated with a satellite.");
const std::string shared_device = problem_block("The device 'M1' is in use my multiple inbands.");

TEST_F(FullVerification, EveryCheckReportsInTheDriversOrderAndRepairLeavesTheUncorrectable) {
  run_result verify = installation.run({"verify"});
  EXPECT_EQ(
      verify.out,
      lost_satellite +
          problem_block("The managed modulator 'GHOST' for site 'Alpha' (id: 1) is not associated with a satellite.",
                        "Clear managed modulator binding for the site with the id 1.") +
          problem_block("The 'device' D7 for group 3 slot 12 has a logical link even though the slot does not have a "
                        "primary role.",
                        "Clear logical link for device D7in group 3 slot12.") +
          problem_block("The antenna 'Dish-1 aka Dish-1' is associated with multiple satellites. The involved "
                        "satellites are 'East' and 'West'.\n"
                        "    According to inband home states, the correct satellite for this antenna is 'West.",
                        "Delete the antenna the id 4 from the satellite(s) with the id(s) 1") +
          rf_chains +
          problem_block("The site 'Beta' (id: 101) refers to a non existent inband (id: 99)",
                        "Delete the inband property entry for the site with the id 101") +
          duplicate_ids +
          problem_block("Device 'M9' (id: 12) in managed device map when not associated with a satellite.",
                        "Delete the managed device entry with the id 12") +
          orphan_space +
          problem_block("An allocation with the id 6 located in the allocation space 'West' was found for 'M1'. This "
                        "is not the allocation space the device is currently associated with.\n"
                        "    The currently associated allocation space has the id of 3.",
                        "Delete the allocation with the id 6") +
          problem_block("The allocatable device 'NOPE' is no longer associated with an allocation space.",
                        "Delete the allocatable device 'NOPE' from the satellite 'East'.") +
          problem_block("A set of unrecovered resources was detected that are not associated with a managed device.",
                        "Delete the unrecovered resources on the allocation space with the id 3 associated with the "
                        "managed device with the id 17") +
          shared_device +
          problem_block("A preallocation for the allocator 'M1 exists on an allocation space '40' which no longer "
                        "exists.",
                        "Delete the pre-allocation for the allocator with the id 9") +
          problem_block("One or more reservations for the allocator M1 refer to a device that is no longer a valid "
                        "managed device",
                        "Delete the reservation for the allocator with the id 9"));
  EXPECT_TRUE(verify.err.ends_with("\n" + summary(10, 5))) << verify.err;
  EXPECT_EQ(verify.status, 0);

  run_result repair = installation.run({"repair"});
  EXPECT_TRUE(repair.err.ends_with(repair_ending(10, 5))) << repair.err;
  EXPECT_EQ(repair.status, 0);

  run_result again = installation.run({"verify"});
  EXPECT_EQ(again.out, lost_satellite + rf_chains + duplicate_ids + orphan_space + shared_device);
  EXPECT_TRUE(again.err.ends_with("\n" + summary(0, 5))) << again.err;

  EXPECT_EQ(installation.query("Switching.db", "SELECT device FROM inband_channel WHERE inband = 1"),
            (std::vector<std::string>{"(none)"}));
  EXPECT_EQ(installation.query("DeviceRedundancy.db", "SELECT device FROM device_configuration"),
            (std::vector<std::string>{"D7"}));
  EXPECT_EQ(installation.query("Switching.db", "SELECT id FROM managed_device_map ORDER BY id"),
            (std::vector<std::string>{"9", "10", "11", "13"}));
  for (const char* table :
       {"allocation", "allocatable_device", "unrecovered_resources", "preallocation", "bandwidth_reservation"}) {
    EXPECT_EQ(installation.query("Switching.db", std::string("SELECT count(*) FROM ") + table),
              (std::vector<std::string>{"0"}))
        << table;
  }
}

}  // namespace
}  // namespace netkeep::testing
