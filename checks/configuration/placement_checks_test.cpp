#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "checks/configuration/check_test_support.h"

namespace netkeep {
namespace {

using testing::listed_problem;

bool same_antenna(const integrity_report::antenna_satellite_table::value_type& a,
                  const integrity_report::antenna_satellite_table::value_type& b) {
  return a.first == b.first;
}
bool same_moniker(const integrity_report::rf_device_table::value_type& a,
                  const integrity_report::rf_device_table::value_type& b) {
  return a.moniker == b.moniker;
}

void check_antennas(integrity_report& report) { report.check_shared_antennas(report.antenna_satellites, same_antenna); }
void check_rf_chains(integrity_report& report) {
  report.check_device_rf_chains(report.rf_devices.begin(), report.rf_devices.end(), same_moniker);
}

// An antenna key read below a satellite, as the configuration loading
// records it.
void add_antenna(integrity_report& report, std::int64_t antenna_id, const std::wstring& name,
                 std::int64_t satellite_id) {
  report.antenna_names.insert({antenna_id, name});
  report.antenna_satellites.insert({antenna_id, satellite_id});
  report.antenna_keys.insert(
      {antenna_id, {satellite_id, {std::to_wstring(satellite_id), std::to_wstring(antenna_id)}}});
}

class SharedAntennas : public testing::check_test {
 protected:
  void SetUp() override { report.satellite_names = {{1, L"A"}, {2, L"B"}, {3, L"C"}}; }
};

TEST_F(SharedAntennas, KnownHomeSatelliteMakesTheProblemCorrectable) {
  for (std::int64_t satellite : {1, 2, 3}) add_antenna(report, 4, L"Dish-1", satellite);
  report.antenna_home_satellites[4] = 2;
  check_antennas(report);
  EXPECT_EQ(problems(),
            (std::vector<listed_problem>{
                {L"The antenna 'Dish-1 aka Dish-1 aka Dish-1' is associated with multiple satellites. The involved "
                 L"satellites are 'A', 'B' and 'C'.\n    According to inband home states, the correct satellite for "
                 L"this antenna is 'B.",
                 L"Delete the antenna the id 4 from the satellite(s) with the id(s) 1, 3"}}));
}

TEST_F(SharedAntennas, UnknownHomeSatelliteIsUncorrectable) {
  // Each listing carries its own name.
  add_antenna(report, 4, L"Dish-1", 3);
  add_antenna(report, 4, L"Dish", 1);
  report.antenna_home_satellites[5] = 1;  // another antenna's
  check_antennas(report);
  EXPECT_EQ(problems(), (std::vector<listed_problem>{
                            {L"The antenna 'Dish-1 aka Dish' is associated with multiple satellites. The involved "
                             L"satellites are 'C' and 'A'.",
                             L""}}));
}

TEST_F(SharedAntennas, TheActionListsEveryOtherListingAndNeverTheHome) {
  // Satellite 9 has no name.
  add_antenna(report, 8, L"East", 1);
  add_antenna(report, 8, L"East-2", 9);
  add_antenna(report, 8, L"East", 1);
  add_antenna(report, 8, L"East", 3);
  report.antenna_home_satellites[8] = 3;
  // Antenna keys "5" and "05" below the home satellite: nothing to delete.
  add_antenna(report, 5, L"West", 2);
  add_antenna(report, 5, L"West", 2);
  report.antenna_home_satellites[5] = 2;
  // A single listing is in order.
  add_antenna(report, 6, L"North", 1);
  report.antenna_home_satellites[6] = 2;

  check_antennas(report);
  EXPECT_EQ(problems(),
            (std::vector<listed_problem>{
                {L"The antenna 'West aka West' is associated with multiple satellites. The involved satellites are "
                 L"'B' and 'B'.\n    According to inband home states, the correct satellite for this antenna is 'B.",
                 L"Delete the antenna the id 5 from the satellite(s) with the id(s) "},
                {L"The antenna 'East aka East-2 aka East aka East' is associated with multiple satellites. The "
                 L"involved satellites are 'A', '9', 'A' and 'C'.\n    According to inband home states, the correct "
                 L"satellite for this antenna is 'C.",
                 L"Delete the antenna the id 8 from the satellite(s) with the id(s) 1, 9, 1"}}));
}

TEST_F(SharedAntennas, AHomeSatelliteThatDoesNotListTheAntennaLeavesItAlone) {
  add_antenna(report, 8, L"East", 1);
  add_antenna(report, 8, L"East", 2);
  report.antenna_home_satellites[8] = 3;
  check_antennas(report);
  EXPECT_EQ(problems(), (std::vector<listed_problem>{
                            {L"The antenna 'East aka East' is associated with multiple satellites. The involved "
                             L"satellites are 'A' and 'B'.\n    According to inband home states, the correct "
                             L"satellite for this antenna is 'C.",
                             L""}}));
}

TEST_F(SharedAntennas, AnEmptyPredicateEndsTheCheck) {
  add_antenna(report, 4, L"Dish-1", 1);
  add_antenna(report, 4, L"Dish-1", 2);
  EXPECT_THROW(report.check_shared_antennas(report.antenna_satellites, {}), std::bad_function_call);
  EXPECT_TRUE(report.problems.empty());
}

using DeviceRfChains = testing::check_test;

TEST_F(DeviceRfChains, OnlyMonikersOnSeveralAntennasAreReported) {
  // One RF chain: up- and down-converter of one antenna, on two satellites.
  place_device(L"MOD-1", 1, 4, true, 1);
  place_device(L"MOD-1", 2, 4, false, 2);
  // Two chains, three listings: one problem.
  place_device(L"mod-2", 1, 4, true, 1);
  place_device(L"mod-2", 1, 4, true, 2);
  place_device(L"mod-2", 1, 6, false, 1);
  place_device(L"DEMOD", 2, 7, false, 1);
  place_device(L"DEMOD", 2, 8, false, 1);
  place_device(L"lone", 3, 9, true, 1);
  check_rf_chains(report);
  EXPECT_EQ(problems(), (std::vector<listed_problem>{
                            {L"The device with the moniker 'DEMOD' is associated with multiple RF chains.", L""},
                            {L"The device with the moniker 'mod-2' is associated with multiple RF chains.", L""}}));
}

TEST_F(DeviceRfChains, AnEmptyPredicateEndsTheCheck) {
  place_device(L"MOD-1", 1, 4);
  EXPECT_NO_THROW(report.check_device_rf_chains(report.rf_devices.begin(), report.rf_devices.end(), {}));
  place_device(L"MOD-2", 1, 5);
  EXPECT_THROW(report.check_device_rf_chains(report.rf_devices.begin(), report.rf_devices.end(), {}),
               std::bad_function_call);
}

}  // namespace
}  // namespace netkeep
