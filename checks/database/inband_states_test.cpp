#include <gtest/gtest.h>

#include "checks/database/report_test_support.h"

namespace netkeep::testing {
namespace {

class InbandStates : public report_test {
 protected:
  // One inband with its four devices; "(none)" or NULL for no device.
  void inband(std::int64_t id, const std::string& managed_modulator, const std::string& managed_demodulator,
              const std::string& home_demodulator, const std::string& home_modulator) {
    const std::string inband = std::to_string(id);
    report.switching_db.exec("INSERT INTO inband_state (id) VALUES (" + inband + ")");
    report.switching_db.exec("INSERT INTO inband_channel VALUES (" + inband + ", 0, " + managed_modulator + ", " +
                             home_demodulator + "), (" + inband + ", 1, " + managed_demodulator + ", " +
                             home_modulator + ")");
  }
};

TEST_F(InbandStates, InbandWithoutDevicesYieldsNothing) {
  inband(1, "'(none)'", "'(none)'", "'(none)'", "NULL");
  report.switching_db.exec("INSERT INTO inband_state (id) VALUES (2)");  // no channel rows at all
  report.antenna_home_satellites[4] = 9;
  report.check_inband_states();
  EXPECT_TRUE(report.problems.empty());
  EXPECT_EQ(report.antenna_home_satellites, (std::map<std::int64_t, std::int64_t>{{4, 9}}));
}

TEST_F(InbandStates, ConsistentInbandRecordsTheHomeSatelliteOfItsManagedAntenna) {
  place_device(L"MM", 1, 40);
  place_device(L"MD", 1, 40);
  place_device(L"HD", 1, 50);
  place_device(L"HM", 1, 50);
  inband(12, "'MM'", "'MD'", "'HD'", "'HM'");
  report.check_inband_states();
  EXPECT_TRUE(report.problems.empty());
  EXPECT_EQ(report.antenna_home_satellites, (std::map<std::int64_t, std::int64_t>{{40, 1}}));
}

TEST_F(InbandStates, UnknownDeviceIsCorrectableAndItsBindingCleared) {
  report.site_names.append(7, {}, L"North");
  report.inband_sites.append(12, 7, L"7");
  inband(12, "'MM'", "'(none)'", "'(none)'", "'HM'");
  report.check_inband_states();
  EXPECT_EQ(descriptions(),
            (std::vector<std::wstring>{
                L"The managed modulator 'MM' for site 'North' (id: 12) is not associated with a satellite.",
                L"The home modulator 'HM' for site 'North' (id: 12) is not associated with a satellite.",
            }));
  EXPECT_EQ(report.correctable_count(), 2);
  EXPECT_EQ(recovery_actions(), (std::vector<std::wstring>{
                                    L"Clear managed modulator binding for the site with the id 12.",
                                    L"Clear home modulator binding for the site with the id 12.",
                                }));
  apply_repairs();
  EXPECT_EQ(rows(report.switching_db, "SELECT number, device, home_device FROM inband_channel ORDER BY number", 3),
            (std::vector<std::string>{"0|(none)|(none)", "1|(none)|(none)"}));
}

TEST_F(InbandStates, EveryRoleHasItsOwnTextAndBinding) {
  inband(3, "'A'", "'B'", "'C'", "'D'");
  report.check_inband_states();
  EXPECT_EQ(descriptions(), (std::vector<std::wstring>{
                                L"The managed modulator 'A' for site (id: 3) is not associated with a satellite.",
                                L"The managed demodulator 'B' for site (id: 3) is not associated with a satellite.",
                                L"The home demodulator 'C' for site (id: 3) is not associated with a satellite.",
                                L"The home modulator 'D' for site (id: 3) is not associated with a satellite.",
                            }));
  EXPECT_EQ(recovery_actions(), (std::vector<std::wstring>{
                                    L"Clear managed modulator binding for the site with the id 3.",
                                    L"Clear managed demodulator binding for the site with the id 3.",
                                    L"Clear home demodulator binding for the site with the id 3.",
                                    L"Clear home modulator binding for the site with the id 3.",
                                }));
  // Clearing one binding leaves the other column of the same channel.
  integrity_report::repair_context edit{true, false, nullptr};
  std::next(report.problems.begin(), 2)->repair(edit);
  EXPECT_EQ(rows(report.switching_db, "SELECT number, device, home_device FROM inband_channel ORDER BY number", 3),
            (std::vector<std::string>{"0|A|(none)", "1|B|D"}));
}

TEST_F(InbandStates, DevicesOnDifferentSatellitesAreAMismatch) {
  report.satellite_names[2] = L"East";
  place_device(L"MM", 1, 40);
  place_device(L"HD", 2, 50);
  place_device(L"Twice", 1, 40);
  place_device(L"Twice", 2, 50);
  inband(12, "'MM'", "'Twice'", "'HD'", "'(none)'");
  report.check_inband_states();
  EXPECT_EQ(descriptions(),
            std::vector<std::wstring>{
                L"A mismatch was detected in the associated satellite between two or more managed and home state "
                L"devices for site (id: 12).\n"
                L"    Managed modulator 'MM' is associated with satellite '1'.\n"
                L"    Managed demodulator 'Twice' is associated with satellite '0'.\n"
                L"    Home demodulator 'HD' is associated with satellite 'East'."});
  EXPECT_EQ(report.correctable_count(), 0);
  // The managed antenna is ambiguous: 'Twice' sits on two antennas.
  EXPECT_TRUE(report.antenna_home_satellites.empty());
}

TEST_F(InbandStates, MismatchRecordsTheHomeSatelliteUnderTheManagedAntenna) {
  place_device(L"MM", 1, 40);
  place_device(L"HD", 2, 50);
  inband(12, "'MM'", "'(none)'", "'HD'", "'(none)'");
  report.check_inband_states();
  ASSERT_EQ(report.problem_count(), 1);
  EXPECT_EQ(report.antenna_home_satellites, (std::map<std::int64_t, std::int64_t>{{40, 2}}));
}

TEST_F(InbandStates, HomeDevicesOnDifferentSatellitesRecordNothing) {
  place_device(L"MM", 1, 40);
  place_device(L"HD", 1, 50);
  place_device(L"HM", 2, 50);
  inband(12, "'MM'", "'(none)'", "'HD'", "'HM'");
  report.check_inband_states();
  EXPECT_EQ(report.problem_count(), 1);
  EXPECT_TRUE(report.antenna_home_satellites.empty());
}

TEST_F(InbandStates, AHomeDeviceNotPlacedOnOneSatelliteRecordsNothingAndLaterInbandsWin) {
  place_device(L"MM", 1, 40);
  place_device(L"M2", 2, 40);
  place_device(L"HD", 1, 50);
  place_device(L"H2", 2, 60);
  place_device(L"HX", 1, 50);
  place_device(L"HX", 2, 60);
  inband(1, "'MM'", "'(none)'", "'HD'", "'(none)'");       // antenna 40 on satellite 1
  inband(2, "'M2'", "'(none)'", "'H2'", "'(none)'");       // a later inband wins: 2
  inband(3, "'MM'", "'(none)'", "'(none)'", "'Unknown'");  // unknown to the registry
  inband(4, "'MM'", "'(none)'", "'HX'", "'(none)'");       // on two satellites
  inband(5, "'MM'", "'(none)'", "'HD'", "'Unknown'");      // one of two home devices
  report.check_inband_states();
  EXPECT_EQ(descriptions(), (std::vector<std::wstring>{
                                L"The home modulator 'Unknown' for site (id: 3) is not associated with a satellite.",
                                L"The home modulator 'Unknown' for site (id: 5) is not associated with a satellite.",
                            }));
  EXPECT_EQ(report.antenna_home_satellites, (std::map<std::int64_t, std::int64_t>{{40, 2}}));
}

TEST_F(InbandStates, NegativeHomeSatelliteOrUnknownManagedAntennaRecordNothing) {
  place_device(L"MM", 1, 40);
  place_device(L"HD", -3, 50);
  place_device(L"HM", 3, 50);
  inband(1, "'MM'", "'(none)'", "'HD'", "'(none)'");
  inband(2, "'(none)'", "'Unknown'", "'(none)'", "'HM'");
  report.check_inband_states();
  EXPECT_TRUE(report.antenna_home_satellites.empty());
}

TEST_F(InbandStates, MissingTableEndsTheRun) {
  report.switching_db.exec("DROP TABLE inband_channel");
  report.switching_db.exec("INSERT INTO inband_state (id) VALUES (1)");
  EXPECT_THROW(report.check_inband_states(), sqlite::error);
}

using InbandChannelDevices = report_test;

TEST_F(InbandChannelDevices, EveryRepeatOfANumericDeviceIsAProblem) {
  report.switching_db.exec(
      "INSERT INTO inband_channel (inband, number, device) VALUES "
      "(1, 0, '17'), (1, 1, 'MOD-1'), (2, 0, 17), (2, 1, '(none)'), (3, 0, '17'), (3, 1, NULL), (4, 0, 'MOD-1')");
  report.check_inband_channel_devices();
  EXPECT_EQ(descriptions(), (std::vector<std::wstring>{
                                L"The device '<unknown(17)>' is in use my multiple inbands.",
                                L"The device '<unknown(17)>' is in use my multiple inbands.",
                            }));
  EXPECT_EQ(report.correctable_count(), 0);
}

TEST_F(InbandChannelDevices, MissingTableEndsTheRun) {
  report.switching_db.exec("DROP TABLE inband_channel");
  EXPECT_THROW(report.check_inband_channel_devices(), sqlite::error);
}

}  // namespace
}  // namespace netkeep::testing
