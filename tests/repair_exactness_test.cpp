// `repair` changes exactly what `verify` reported, on installations that an
// operator's site can hold: registry keys whose names are written in other
// ways than the plain id ("07", " 9", "010"), shared antennas whose home
// satellite is unknown or lists none of them, an allocatable_device table
// with more or fewer columns, slot bindings with NULLs. Each repair is
// followed by a `verify` that finds nothing left of what was repaired.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/network_fixture.h"
#include "tests/support/test_installation.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

using rows = std::vector<std::string>;

const std::string cleared = "\r            \r";
const std::string inband_property = "{41D79A62-C53D-45DB-8F45-F44649E27BB6}";
const std::string inband_property_row = "x'629AD7413DC5DB458F45F44649E27BB6'";

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A site key's inband property naming `inband`.
std::string site_inband(const std::string& site_key, const std::string& inband) {
  return section("Network\\Properties\\" + site_key + "\\" + inband_property) + "\n\"Id\"=\"" + inband + "\"\n\n";
}

class RepairExactness : public ::testing::Test {
 protected:
  run_result repair() {
    run_result r = installation.run({"repair"});
    EXPECT_TRUE(r.err.ends_with("repairs complete\n")) << r.err;
    EXPECT_EQ(r.status, 0);
    return r;
  }

  // `verify` after the repair: only the problems that are left.
  std::string problems_left() {
    run_result r = installation.run({"verify"});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }

  rows property_rows() const {
    return installation.query("Network.db", "SELECT id, property_value FROM property ORDER BY id, property_value");
  }

  test_installation installation;
};

// --- Registry repairs open the keys that were read.

TEST_F(RepairExactness, AStaleSiteKeyIsDeletedAndTheValidKeyOfTheSameSiteKept) {
  // Site 7 is "7" (inband 12, which exists) and "07" (inband 15, which does
  // not). The property row belongs to the valid key.
  install_network(installation, site_inband("07", "15"));
  EXPECT_EQ(installation.run({"verify"}).out,
            problem_block("The site 'North' (id: 7) refers to a non existent inband (id: 15)",
                          "Delete the inband property entry for the site with the id 7"));

  repair();
  const std::string hive = installation.registry_text();
  EXPECT_FALSE(has(hive, "Properties\\07\\" + inband_property)) << hive;
  EXPECT_TRUE(has(hive, "Properties\\7\\" + inband_property + "]\n\"Id\"=\"12\"")) << hive;
  EXPECT_EQ(property_rows(), rows{"7|12"});
  EXPECT_EQ(problems_left(), "");
}

TEST_F(RepairExactness, SiteKeysNamedOtherwiseThanTheIdAreRepairedAndTheRowGoesWithTheLast) {
  // Site 8 only as "08"; site 9 as "9" and " 9", both naming missing
  // inbands: the row of site 9 stays until the second key is repaired.
  install_network(installation, site_inband("08", "15") + site_inband("9", "16") + site_inband(" 9", "17"));
  installation.sql("Network.db", "INSERT INTO property VALUES (8, " + inband_property_row + ", '15'), (9, " +
                                     inband_property_row + ", '16')");
  EXPECT_EQ(installation.run({"verify"}).out,
            problem_block("The site (id: 8) refers to a non existent inband (id: 15)",
                          "Delete the inband property entry for the site with the id 8") +
                problem_block("The site (id: 9) refers to a non existent inband (id: 16)",
                              "Delete the inband property entry for the site with the id 9") +
                problem_block("The site (id: 9) refers to a non existent inband (id: 17)",
                              "Delete the inband property entry for the site with the id 9"));

  repair();
  const std::string hive = installation.registry_text();
  for (const char* key : {"Properties\\08\\", "Properties\\9\\", "Properties\\ 9\\"}) {
    EXPECT_FALSE(has(hive, key + inband_property)) << key;
  }
  EXPECT_EQ(property_rows(), rows{"7|12"});
  EXPECT_EQ(problems_left(), "");
}

TEST_F(RepairExactness, AntennaAndSatelliteKeysNamedOtherwiseThanTheIdAreTheOnesDeleted) {
  // Antenna 10 (home satellite Sat-A, key "1") is also listed as "010"
  // below Sat-B and as "10" below satellite key "03".
  install_network(installation,
                  section("Bandwidth\\Satellites\\2\\Antennas\\010") + "\n\"Name\"=\"Ant-10\"\n\n" +
                      section("Bandwidth\\Satellites\\2\\Antennas\\010\\UpConverters\\7\\Modulators") +
                      "\n\"0\"=\"MOD-1\"\n\n" + section("Bandwidth\\Satellites\\03") + "\n\"Name\"=\"Sat-C\"\n\n" +
                      section("Bandwidth\\Satellites\\03\\Properties\\{2C3FDB10-B500-4423-947A-16D2FECA7876}") +
                      "\n\"Id\"=\"300\"\n\n" + section("Bandwidth\\Satellites\\03\\Antennas\\10") +
                      "\n\"Name\"=\"Ant-10\"\n\n");
  installation.sql("Switching.db", "INSERT INTO allocation_space (id, bandwidth) VALUES (300, 36000000)");
  EXPECT_EQ(installation.run({"verify"}).out,
            problem_block("The antenna 'Ant-10 aka Ant-10 aka Ant-10' is associated with multiple satellites. The "
                          "involved satellites are 'Sat-C', 'Sat-A' and 'Sat-B'.\n"
                          "    According to inband home states, the correct satellite for this antenna is 'Sat-A.",
                          "Delete the antenna the id 10 from the satellite(s) with the id(s) 3, 2"));

  repair();
  const std::string hive = installation.registry_text();
  EXPECT_FALSE(has(hive, "Satellites\\2\\Antennas\\010")) << hive;
  EXPECT_FALSE(has(hive, "Satellites\\03\\Antennas\\10")) << hive;
  EXPECT_TRUE(has(hive, "Satellites\\03\\Antennas]")) << hive;
  EXPECT_TRUE(has(hive, "Satellites\\1\\Antennas\\10\\UpConverters\\1\\Modulators]\n\"0\"=\"MOD-1\"")) << hive;
  EXPECT_TRUE(has(hive, "Satellites\\2\\Antennas\\20]")) << hive;
  EXPECT_EQ(problems_left(), "");
}

// --- A shared antenna is never removed from every satellite.

// Antenna 10, whose managed devices are inband 12's, listed below Sat-A
// (key "1") and Sat-B.
const std::string antenna_10_below_sat_b = section("Bandwidth\\Satellites\\2\\Antennas\\10") + "\n\"Name\"=\"Ant-10\"\n\n";

TEST_F(RepairExactness, AHomeDeviceThatTheRegistryDoesNotPlaceGivesNoHomeSatellite) {
  // The home demodulator is unknown to the registry, the home modulator
  // listed on two RF chains: neither tells the antenna's satellite.
  install_network(installation,
                  antenna_10_below_sat_b + section("Bandwidth\\Satellites\\2\\Antennas\\20\\UpConverters\\5\\Modulators") +
                      "\n\"1\"=\"HUB-MOD\"\n\n");
  installation.sql("Switching.db", "UPDATE inband_channel SET home_device = 'GONE-HUB' WHERE number = 0");
  const std::string shared_antenna =
      "The antenna 'Ant-10 aka Ant-10' is associated with multiple satellites. The involved satellites are 'Sat-A' "
      "and 'Sat-B'.";
  EXPECT_EQ(installation.run({"verify"}).out,
            problem_block("The home demodulator 'GONE-HUB' for site 'North' (id: 12) is not associated with a "
                          "satellite.",
                          "Clear home demodulator binding for the site with the id 12.") +
                problem_block(shared_antenna) +
                problem_block("The device with the moniker 'HUB-MOD' is associated with multiple RF chains."));

  repair();
  // Only the unknown device's binding was cleared; the antenna and the
  // inband's own devices stay.
  EXPECT_EQ(installation.query("Switching.db", "SELECT device, home_device FROM inband_channel ORDER BY number"),
            (rows{"MOD-1|(none)", "DEMOD-1|HUB-MOD"}));
  const std::string hive = installation.registry_text();
  EXPECT_TRUE(has(hive, "Satellites\\1\\Antennas\\10\\DownConverters\\2\\Demodulators]\n\"0\"=\"DEMOD-1\"")) << hive;
  EXPECT_TRUE(has(hive, "Satellites\\2\\Antennas\\10]")) << hive;
  EXPECT_EQ(problems_left(), problem_block(shared_antenna) +
                                 problem_block("The device with the moniker 'HUB-MOD' is associated with multiple RF "
                                               "chains."));
}

TEST_F(RepairExactness, AHomeSatelliteThatListsNoneOfTheAntennasCopiesLeavesThemAll) {
  // Inband 12's managed devices are moved to antenna 20 (Sat-B), which is
  // also listed below Sat-C; its home devices are on Sat-A.
  install_network(installation,
                  section("Bandwidth\\Satellites\\3") + "\n\"Name\"=\"Sat-C\"\n\n" +
                      section("Bandwidth\\Satellites\\3\\Properties\\{2C3FDB10-B500-4423-947A-16D2FECA7876}") +
                      "\n\"Id\"=\"300\"\n\n" + section("Bandwidth\\Satellites\\3\\Antennas\\20") +
                      "\n\"Name\"=\"Ant-20\"\n\n");
  installation.sql("Switching.db",
                   "INSERT INTO allocation_space (id, bandwidth) VALUES (300, 36000000);"
                   "UPDATE inband_channel SET device = 'MOD-2' WHERE number = 0;"
                   "UPDATE inband_channel SET device = 'DEMOD-2' WHERE number = 1;");
  const std::string before = installation.registry_text();
  const std::string shared_antenna =
      problem_block("The antenna 'Ant-20 aka Ant-20' is associated with multiple satellites. The involved satellites "
                    "are 'Sat-B' and 'Sat-C'.\n"
                    "    According to inband home states, the correct satellite for this antenna is 'Sat-A.");
  const std::string verified = installation.run({"verify"}).out;
  EXPECT_TRUE(verified.ends_with(shared_antenna)) << verified;

  repair();
  EXPECT_EQ(installation.registry_text(), before);
  EXPECT_EQ(problems_left(), verified);
}

// --- The allocatable device repair deletes the row it reported.

TEST_F(RepairExactness, TheAllocatableDeviceRowIsFoundByItsRowidWhateverTheTableColumns) {
  const std::string rows_of = "INSERT INTO allocatable_device VALUES (100, 'modulator', 'MOD-1'{}), "
                              "(100, 'demodulator', 'DEMOD-1'{}), (200, 'modulator', 'GONE'{}), "
                              "(200, 'modulator', 'MOD-2'{}), (200, 'demodulator', 'DEMOD-2'{})";
  const auto with = [&](const std::string& more) {
    std::string statement = rows_of;
    for (std::size_t at; (at = statement.find("{}")) != std::string::npos;) statement.replace(at, 2, more);
    return statement;
  };
  const std::pair<std::string, std::string> tables[] = {
      // A sixth column holding numbers that are other rows' rowids.
      {"allocation_space INTEGER, device_type TEXT, moniker TEXT, port INTEGER, priority INTEGER, note INTEGER",
       with(", 1, 0, 1")},
      // Three columns only.
      {"allocation_space INTEGER, device_type TEXT, moniker TEXT", with("")},
  };
  for (const auto& [columns, insert] : tables) {
    SCOPED_TRACE(columns);
    install_network(installation);
    installation.sql("Switching.db", "DROP TABLE allocatable_device; CREATE TABLE allocatable_device (" + columns +
                                         "); " + insert);
    EXPECT_EQ(installation.run({"verify"}).out,
              problem_block("The allocatable device 'GONE' is no longer associated with an allocation space.",
                            "Delete the allocatable device 'GONE' from the satellite 'Sat-B'."));
    repair();
    EXPECT_EQ(installation.query("Switching.db", "SELECT moniker FROM allocatable_device ORDER BY rowid"),
              (rows{"MOD-1", "DEMOD-1", "MOD-2", "DEMOD-2"}));
    EXPECT_EQ(problems_left(), "");
  }
}

// --- Slot bindings with NULLs.

TEST_F(RepairExactness, ANullLinkIsNoLinkAndANullDeviceCannotBeRepaired) {
  install_network(installation);
  installation.sql("DeviceRedundancy.db",
                   "INSERT INTO slot (id, [group], role) VALUES (3, 1, 1);"
                   "INSERT INTO [slot.device_binding] ([group], [slot], [device], [logical_link]) VALUES"
                   " (1, 3, 'DEMOD-2', NULL), (1, 3, NULL, 'MOD-1');"
                   "INSERT INTO device_configuration (device, configuration) VALUES ('', x'03');");
  const std::string null_device =
      problem_block("The 'device'  for group 1 slot 3 has a logical link even though the slot does not have a "
                    "primary role.");
  run_result verified = installation.run({"verify"});
  EXPECT_EQ(verified.out, null_device);
  EXPECT_TRUE(verified.err.ends_with(summary(0, 1))) << verified.err;

  const std::string before = database_bytes(installation);
  repair();
  EXPECT_EQ(database_bytes(installation), before);
  EXPECT_EQ(problems_left(), null_device);
}

}  // namespace
}  // namespace netkeep::testing
