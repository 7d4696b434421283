#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checks/configuration/test_report.h"

namespace netkeep {
namespace {

using testing::listed_problem;
using testing::test_report;
using reservations = std::vector<integrity_report::reservation_entry>;

class DeviceReservations : public ::testing::Test {
 protected:
  void SetUp() override {
    r.switching(
        "INSERT INTO managed_device_map (id, moniker) VALUES (12, 'M1'), (13, 'M2'), (14, 'M3');"
        "INSERT INTO inband_channel (inband, number, device, home_device) VALUES (1, 0, 'M2', '(none)');"
        "INSERT INTO outofband_state (device, state) VALUES ('M3', 1);");
  }
  void check(const reservations& run) { r.report.check_device_reservations(run.cbegin(), run.cend()); }
  test_report r;
};

TEST_F(DeviceReservations, DevicesInUseByAnInbandOrAnOutOfBandStateAreValid) {
  check({{3, 13}, {4, 13}});
  check({{3, 14}});
  EXPECT_TRUE(r.problems().empty());
}

TEST_F(DeviceReservations, ADeviceMissingFromTheMapIsUncorrectable) {
  check({{3, 15}});
  EXPECT_EQ(r.problems(), (std::vector<listed_problem>{
                              {L"One or more reservations for the allocator <unknown(15)> refer to a device that is "
                               L"not present in the managed device map",
                               L""}}));
}

TEST_F(DeviceReservations, AnUnusedDeviceIsCorrectableAndItsRepairTakesThePreallocationsAlong) {
  // Monikers compare exactly: 'm1' in an inband is another device.
  r.switching(
      "INSERT INTO inband_channel (inband, number, device, home_device) VALUES (2, 0, 'm1', '(none)');"
      "INSERT INTO bandwidth_reservation (allocation_space, managed_device) VALUES (3, 12), (4, 12), (3, 13);"
      "INSERT INTO preallocation (allocator, allocation_space) VALUES (12, 3), (13, 3), (12, 4);");
  check({{3, 12}, {4, 12}});
  EXPECT_EQ(r.problems(), (std::vector<listed_problem>{
                              {L"One or more reservations for the allocator M1 refer to a device that is no longer a "
                               L"valid managed device",
                               L"Delete the reservation for the allocator with the id 12"}}));
  r.repair();
  EXPECT_EQ(r.query("SELECT allocation_space, managed_device FROM bandwidth_reservation"),
            (std::vector<std::string>{"3|13"}));
  EXPECT_EQ(r.query("SELECT allocator, allocation_space FROM preallocation"), (std::vector<std::string>{"13|3"}));
}

}  // namespace
}  // namespace netkeep
