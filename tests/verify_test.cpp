// `verify` end to end: a consistent installation, damage in the registry
// network configuration, failures that end the run, and missing database
// files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/network_fixture.h"
#include "tests/support/test_installation.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

// What the analysis phase leaves on standard error: the cleared line.
const std::string cleared = "\r            \r";

class Verify : public ::testing::Test {
 protected:
  Verify() { install_network(installation); }

  test_installation installation;
};

TEST_F(Verify, AConsistentInstallationHasNoProblems) {
  const std::string before = database_bytes(installation);
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, cleared + "No problems detected.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(database_bytes(installation), before);
}

TEST_F(Verify, EmptyDatabasesAndNoNetworkHaveNoProblems) {
  installation.create_databases();
  installation.set_registry("");
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.err, cleared + "No problems detected.\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(Verify, ListsRegistryDamageOnStandardOutputAndCountsOnStandardError) {
  const std::string satellites = "Bandwidth\\Satellites\\";
  installation.set_registry(network_registry() + section(satellites + "3") + "\n\"Name\"=\"Sat-C\"\n\n" +
                            section(satellites + "3\\Antennas\\30") + "\n\"Name\"=\"Ant\"\n\n" +
                            section(satellites + "3\\Antennas\\30\\DownConverters\\2\\Demodulators") +
                            "\n\"0\"=hex(7):4d,00,31,00,00,00,00,00\n\n" + section(satellites + "4") +
                            "\n\"Name\"=\"S4\"\n\n" +
                            section(satellites + "4\\Properties\\{2C3FDB10-B500-4423-947A-16D2FECA7876}") +
                            "\n\"Id\"=dword:0000000c\n\n");
  const std::string before = database_bytes(installation);
  const std::string registry_before = installation.registry_text();

  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out,
            problem_block("The satellite 'Sat-C' does not have an allocation space associated with it.") +
                problem_block("A corrupt device moniker was found in the down-converter with the id 2 located "
                                    "in the antenna 'Ant' located in the satellite 'Sat-C'") +
                problem_block("The satellite with the id of 4 has a corrupt allocation space identifier. The "
                                    "following error occurred while attempting to read it: Illegal value type used "
                                    "to store identifier."));
  EXPECT_EQ(r.err, cleared + "\n" + summary(0, 3));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(database_bytes(installation), before);
  EXPECT_EQ(installation.registry_text(), registry_before);
}

TEST_F(Verify, AnUnreadableSatelliteEndsTheRunWithoutAList) {
  installation.set_registry(network_registry() + section("Bandwidth\\Satellites\\3") + "\n\"Other\"=\"x\"\n\n");
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, cleared + "An error occurred: The system cannot find the file specified.\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(Verify, AMissingDatabaseFileIsAnErrorAndNothingIsCreated) {
  std::filesystem::remove(installation.database("Switching.db"));
  std::filesystem::remove(installation.database("DeviceRedundancy.db"));
  const std::string before = database_bytes(installation);
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            cleared + "An error occurred: Database file not found: " + installation.database("Switching.db").string() +
                "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(database_bytes(installation), before);
  EXPECT_FALSE(std::filesystem::exists(installation.database("Switching.db")));
}

TEST_F(Verify, AMissingTableEndsTheRunWithSqlitesMessage) {
  installation.sql("Switching.db", "DROP TABLE bandwidth_reservation;");
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, cleared + "An error occurred: no such table: bandwidth_reservation\n");
  EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace netkeep::testing
