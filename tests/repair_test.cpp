// `repair` end to end: the counts, the repair phase and "repairs complete",
// and missing database files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/network_fixture.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

const std::string cleared = "\r            \r";

std::string summary(int correctable, int uncorrectable) {
  return "  Correctable Errors Detected: " + std::to_string(correctable) +
         "\nUncorrectable Errors Detected: " + std::to_string(uncorrectable) +
         "\n        Total Errors Detected: " + std::to_string(correctable + uncorrectable) + "\n";
}

class Repair : public ::testing::Test {
 protected:
  Repair() {
    install_network(installation);
  }

  test_installation installation;
};

TEST_F(Repair, WithoutProblemsOnlyTheCountsAreWritten) {
  const std::string before = database_bytes(installation);
  run_result r = installation.run({"repair"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, cleared + "\r" + summary(0, 0));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(database_bytes(installation), before);
}

TEST_F(Repair, UncorrectableProblemsAreCountedAndNothingIsChanged) {
  installation.set_registry(network_registry() + section("Bandwidth\\Satellites\\3") + "\n\"Name\"=\"Sat-C\"\n\n");
  const std::string before = database_bytes(installation);
  run_result r = installation.run({"repair"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, cleared + "\r" + summary(0, 1) + cleared + "repairs complete\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(database_bytes(installation), before);
  EXPECT_NE(installation.registry_text().find("Sat-C"), std::string::npos);
}

TEST_F(Repair, AMissingDatabaseFileIsAnErrorAndNothingIsChanged) {
  std::filesystem::remove(installation.database("Network.db"));
  const std::string before = database_bytes(installation);
  run_result r = installation.run({"repair"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            cleared + "An error occurred: Database file not found: " + installation.database("Network.db").string() +
                "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(database_bytes(installation), before);
}

}  // namespace
}  // namespace netkeep::testing
