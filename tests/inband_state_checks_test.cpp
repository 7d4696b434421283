// The inband state and inband channel checks end to end: devices that the
// registry does not know, devices of one inband on different satellites,
// and the repair that clears an unknown device's binding.

#include <gtest/gtest.h>

#include "tests/support/network_fixture.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

class InbandStateChecks : public ::testing::Test {
 protected:
  InbandStateChecks() {
    install_network(installation);
    // Inband 12 of site North gets a managed modulator the registry does not
    // know; inband 13 (no site) has its managed devices on Sat-B and its
    // home devices on Sat-A.
    installation.sql("Switching.db",
                     "UPDATE inband_channel SET device = 'LOST-MOD' WHERE inband = 12 AND number = 0;"
                     "INSERT INTO inband_state (id, state) VALUES (13, 1);"
                     "INSERT INTO inband_channel VALUES (13, 0, 'MOD-2', 'HUB-DEMOD'), (13, 1, 'DEMOD-2', '(none)')");
  }
  test_installation installation;
};

const std::string unknown_device =
    "The managed modulator 'LOST-MOD' for site 'North' (id: 12) is not associated with a satellite.";
const std::string unknown_device_action = "Clear managed modulator binding for the site with the id 12.";
const std::string mismatch =
    "A mismatch was detected in the associated satellite between two or more managed and home state devices for "
    "site (id: 13).\n"
    "    Managed modulator 'MOD-2' is associated with satellite 'Sat-B'.\n"
    "    Managed demodulator 'DEMOD-2' is associated with satellite 'Sat-B'.\n"
    "    Home demodulator 'HUB-DEMOD' is associated with satellite 'Sat-A'.";

TEST_F(InbandStateChecks, VerifyListsUnknownDevicesAndMismatches) {
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out, problem_block(unknown_device, unknown_device_action) + problem_block(mismatch));
  EXPECT_TRUE(r.err.ends_with("\n" + summary(1, 1))) << r.err;
  EXPECT_EQ(r.status, 0);
}

TEST_F(InbandStateChecks, RepairClearsTheUnknownDevicesBinding) {
  run_result r = installation.run({"repair"});
  EXPECT_NE(r.err.find(summary(1, 1)), std::string::npos) << r.err;
  EXPECT_TRUE(r.err.ends_with("repairs complete\n")) << r.err;
  EXPECT_EQ(installation.query("Switching.db", "SELECT device, home_device FROM inband_channel WHERE inband = 12 "
                                               "ORDER BY number"),
            (std::vector<std::string>{"(none)|HUB-DEMOD", "DEMOD-1|HUB-MOD"}));

  run_result again = installation.run({"verify"});
  EXPECT_EQ(again.out, problem_block(mismatch));
}

TEST(InbandChannelDevicesCheck, NumericDeviceUsedByTwoInbands) {
  test_installation installation;
  install_network(installation);
  installation.sql("Switching.db",
                   "INSERT INTO managed_device_map VALUES (42, 'MOD-1');"
                   "INSERT INTO inband_state (id, state) VALUES (13, 1), (14, 1);"
                   "INSERT INTO inband_channel VALUES (13, 0, '42', '(none)'), (14, 0, '42', '(none)'),"
                   " (14, 1, '43', '(none)'), (13, 1, 43, '(none)')");
  run_result r = installation.run({"verify"});
  // The inband state check reports the numeric texts as unknown devices
  // first; the device check names the repeats by their map monikers.
  const std::string repeats = problem_block("The device 'MOD-1' is in use my multiple inbands.") +
                              problem_block("The device '<unknown(43)>' is in use my multiple inbands.");
  ASSERT_GE(r.out.size(), repeats.size());
  EXPECT_TRUE(r.out.ends_with(repeats)) << r.out;
  EXPECT_TRUE(r.err.ends_with("\n" + summary(4, 3))) << r.err;
}

}  // namespace
}  // namespace netkeep::testing
