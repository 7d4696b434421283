// Antennas under several satellites and devices on several RF chains, found
// by `verify` in a real installation and mended by `repair`.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/configuration_network.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class PlacementVerification : public ::testing::Test {
 protected:
  test_installation installation;
};

// Antenna 4 sits under all three satellites and antenna 6 under East and
// North. Inband 1's managed modulator MM is on antenna 4 (below West only)
// and its home demodulator D2 on West; inband 2's managed modulator M6 is
// on antenna 6 (listed under both copies) and its home demodulator again
// D2. So West is the home satellite of both antennas, and antenna 6, which
// West does not list, is left where it is.
const std::string shared_antennas = R"(
[$\Bandwidth\Satellites\1\Antennas\4]
"Name"="Dish-1"

[$\Bandwidth\Satellites\1\Antennas\4\UpConverters\1\Modulators]
"0"="MX"

[$\Bandwidth\Satellites\1\Antennas\4\DownConverters\3\Demodulators]
"0"="DX"

[$\Bandwidth\Satellites\1\Antennas\6]
"Name"="Dish-6"

[$\Bandwidth\Satellites\1\Antennas\6\UpConverters\1\Modulators]
"0"="M6"

[$\Bandwidth\Satellites\2\Antennas\4]
"Name"="Dish-1"

[$\Bandwidth\Satellites\2\Antennas\4\UpConverters\1\Modulators]
"0"="MX"
"1"="MM"

[$\Bandwidth\Satellites\3\Antennas\4]
"Name"="Dish-1"

[$\Bandwidth\Satellites\3\Antennas\6]
"Name"="Dish-6"

[$\Bandwidth\Satellites\3\Antennas\6\UpConverters\5\Modulators]
"0"="M6"
)";

const std::string shared_antenna_inbands =
    "INSERT INTO inband_state (id) VALUES (1), (2);"
    "INSERT INTO inband_channel (inband, number, device, home_device) VALUES (1, 0, 'MM', 'D2'), (2, 0, 'M6', 'D2');";

TEST_F(PlacementVerification, AntennasUnderSeveralSatellitesAreRemovedFromAllButTheHomeSatellite) {
  install_configuration_network(installation, shared_antennas, shared_antenna_inbands);

  run_result verify = installation.run({"verify"});
  EXPECT_EQ(
      verify.out,
      problem_block("The antenna 'Dish-1 aka Dish-1 aka Dish-1' is associated with multiple satellites. The involved "
                    "satellites are 'East', 'West' and 'North'.\n"
                    "    According to inband home states, the correct satellite for this antenna is 'West.",
                    "Delete the antenna the id 4 from the satellite(s) with the id(s) 1, 3") +
          problem_block("The antenna 'Dish-6 aka Dish-6' is associated with multiple satellites. The involved "
                        "satellites are 'East' and 'North'.\n"
                        "    According to inband home states, the correct satellite for this antenna is 'West."));
  EXPECT_TRUE(verify.err.ends_with("\n" + summary(1, 1))) << verify.err;
  EXPECT_EQ(verify.status, 0);

  run_result repair = installation.run({"repair"});
  EXPECT_TRUE(repair.err.ends_with(repair_ending(1, 1))) << repair.err;
  EXPECT_EQ(repair.status, 0);

  const std::string hive = installation.registry_text();
  for (const char* gone : {"Satellites\\1\\Antennas\\4]", "Satellites\\1\\Antennas\\4\\", "Satellites\\3\\Antennas\\4]",
                           "\"DX\""}) {
    EXPECT_FALSE(has(hive, gone)) << gone;
  }
  for (const char* kept : {"Satellites\\2\\Antennas\\4\\UpConverters\\1\\Modulators]", "\"1\"=\"MM\"",
                           "Satellites\\1\\Antennas\\6\\UpConverters\\1\\Modulators]",
                           "Satellites\\3\\Antennas\\6\\UpConverters\\5\\Modulators]",
                           "Satellites\\1\\Antennas\\10\\UpConverters\\1\\Modulators]",
                           "Satellites\\3\\Antennas\\30\\UpConverters\\1\\Modulators]"}) {
    EXPECT_TRUE(has(hive, kept)) << kept;
  }
}

TEST_F(PlacementVerification, WithoutAHomeSatelliteASharedAntennaIsOnlyReported) {
  install_configuration_network(installation, R"(
[$\Bandwidth\Satellites\3\Antennas\5]
"Name"="Dish-5"

[$\Bandwidth\Satellites\1\Antennas\5]
"Name"="Dish-5"
)");
  run_result verify = installation.run({"verify"});
  EXPECT_EQ(verify.out,
            problem_block("The antenna 'Dish-5 aka Dish-5' is associated with multiple satellites. The involved "
                          "satellites are 'East' and 'North'."));
  EXPECT_TRUE(verify.err.ends_with("\n" + summary(0, 1))) << verify.err;

  const std::string before = installation.registry_text();
  run_result repair = installation.run({"repair"});
  EXPECT_TRUE(repair.err.ends_with(repair_ending(0, 1))) << repair.err;
  EXPECT_EQ(installation.registry_text(), before);
}

TEST_F(PlacementVerification, ADeviceOnTheConvertersOfTwoAntennasIsReported) {
  // MD is on Dish-E and Dish-W; D1 is on both converters of Dish-E, which
  // is one RF chain.
  install_configuration_network(installation, R"(
[$\Bandwidth\Satellites\1\Antennas\10\UpConverters\1\Modulators]
"1"="MD"
"2"="D1"

[$\Bandwidth\Satellites\2\Antennas\20\DownConverters\1\Demodulators]
"1"="MD"
)");
  run_result verify = installation.run({"verify"});
  EXPECT_EQ(verify.out, problem_block("The device with the moniker 'MD' is associated with multiple RF chains."));
  EXPECT_TRUE(verify.err.ends_with("\n" + summary(0, 1))) << verify.err;
}

}  // namespace
}  // namespace netkeep::testing
