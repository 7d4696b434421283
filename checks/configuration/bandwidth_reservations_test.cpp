#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checks/configuration/check_test_support.h"

namespace netkeep {
namespace {

using testing::listed_problem;
using reservations = std::vector<integrity_report::reservation_entry>;

class DeviceReservations : public testing::check_test {
 protected:
  void SetUp() override {
    switching(
        "INSERT INTO managed_device_map (id, moniker) VALUES (12, 'M1'), (13, 'M2'), (14, 'M3');"
        "INSERT INTO inband_channel (inband, number, device, home_device) VALUES (1, 0, 'M2', '(none)');"
        "INSERT INTO outofband_state (device, state) VALUES ('M3', 1);");
  }
  void check(const reservations& run) { report.check_device_reservations(run.cbegin(), run.cend()); }
};

TEST_F(DeviceReservations, DevicesInUseByAnInbandOrAnOutOfBandStateAreValid) {
  check({{3, 13}, {4, 13}});
  check({{3, 14}});
  EXPECT_TRUE(problems().empty());
}

TEST_F(DeviceReservations, ADeviceMissingFromTheMapIsUncorrectable) {
  check({{3, 15}});
  EXPECT_EQ(problems(), (std::vector<listed_problem>{
                            {L"One or more reservations for the allocator <unknown(15)> refer to a device that is "
                             L"not present in the managed device map",
                             L""}}));
}

TEST_F(DeviceReservations, AnUnusedDeviceIsCorrectableAndItsRepairTakesThePreallocationsAlong) {
  // Monikers compare exactly: 'm1' in an inband is another device.
  switching(
      "INSERT INTO inband_channel (inband, number, device, home_device) VALUES (2, 0, 'm1', '(none)');"
      "INSERT INTO bandwidth_reservation (allocation_space, managed_device) VALUES (3, 12), (4, 12), (3, 13);"
      "INSERT INTO preallocation (allocator, allocation_space) VALUES (12, 3), (13, 3), (12, 4);");
  check({{3, 12}, {4, 12}});
  EXPECT_EQ(problems(), (std::vector<listed_problem>{
                            {L"One or more reservations for the allocator M1 refer to a device that is no longer a "
                             L"valid managed device",
                             L"Delete the reservation for the allocator with the id 12"}}));
  apply_repairs();
  EXPECT_EQ(switching_rows("SELECT allocation_space, managed_device FROM bandwidth_reservation", 2),
            (std::vector<std::string>{"3|13"}));
  EXPECT_EQ(switching_rows("SELECT allocator, allocation_space FROM preallocation", 2),
            (std::vector<std::string>{"13|3"}));
}

}  // namespace
}  // namespace netkeep
