// POSIX only: two netkeep commands started at the same moment on one
// installation. The hive's lock runs them one after the other, so neither
// loses the other's changes.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/fault_support.h"
#include "tests/support/hive_listing.h"
#include "tests/support/network_fixture.h"
#include "tests/support/process_control.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;

constexpr int rounds = 5;

// An archive of a registry key `key` and a file Switching/<key>.txt, without
// databases.
std::string archive_of(test_installation& maker, const std::string& key) {
  maker.set_registry(section(key) + "\n\"Made\"=\"" + key + "\"\n");
  fs::create_directories(maker.data_directory() / "Switching");
  write_file(maker.data_directory() / "Switching" / (key + ".txt"), key);
  EXPECT_EQ(maker.run({"export", key + ".nka"}).status, 0);
  return (maker.root() / (key + ".nka")).string();
}

TEST(ConcurrentCommands, TwoImportsAtOnceKeepBothArchivesChanges) {
  test_installation maker_a, maker_b;
  const std::string archive_a = archive_of(maker_a, "FromA");
  const std::string archive_b = archive_of(maker_b, "FromB");
  for (int round = 0; round < rounds; ++round) {
    test_installation installation;
    install_network(installation);
    running_netkeep first = start_netkeep(installation, {"import", archive_a});
    running_netkeep second = start_netkeep(installation, {"import", archive_b});
    EXPECT_EQ(first.wait().status, 0);
    EXPECT_EQ(second.wait().status, 0);
    const std::string listing = hive_listing(installation);
    EXPECT_NE(listing.find("[FromA]"), std::string::npos) << listing;
    EXPECT_NE(listing.find("[FromB]"), std::string::npos) << listing;
    EXPECT_TRUE(fs::exists(installation.data_directory() / "Switching" / "FromA.txt"));
    EXPECT_TRUE(fs::exists(installation.data_directory() / "Switching" / "FromB.txt"));
  }
}

TEST(ConcurrentCommands, ARepairAndAnImportAtOnceKeepTheRepairsAndTheImportedKeys) {
  test_installation maker;
  const std::string archive = archive_of(maker, "Imported");
  // Site 8's inband property names an inband that does not exist: repair
  // deletes the property's registry key.
  const std::string stale_property =
      section("Network\\Properties\\8\\{41D79A62-C53D-45DB-8F45-F44649E27BB6}") + "\n\"Id\"=\"15\"\n";
  for (int round = 0; round < rounds; ++round) {
    test_installation installation;
    install_network(installation, stale_property);
    installation.sql("Switching.db", "INSERT INTO managed_device_map VALUES (9, 'GONE')");
    running_netkeep repair = start_netkeep(installation, {"repair"});
    running_netkeep import = start_netkeep(installation, {"import", archive});
    EXPECT_EQ(repair.wait().status, 0);
    EXPECT_EQ(import.wait().status, 0);
    // The repair deleted the orphan and the stale property; the import added
    // its key.
    EXPECT_EQ(installation.query("Switching.db", "SELECT count(*) FROM managed_device_map WHERE id = 9"),
              std::vector<std::string>{"0"});
    const std::string listing = hive_listing(installation);
    EXPECT_NE(listing.find("[Imported]"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("[Network\\Properties\\8\\{"), std::string::npos) << listing;
  }
}

TEST(ConcurrentCommands, AnExportDuringAResetHoldsTheWholeInstallationOrNothingOfIt) {
  for (int round = 0; round < rounds; ++round) {
    test_installation installation;
    install_network(installation);
    running_netkeep reset = start_netkeep(installation, {"reset"});
    running_netkeep exported = start_netkeep(installation, {"export", "during.nka"});
    EXPECT_EQ(reset.wait().status, 0);
    EXPECT_EQ(exported.wait().status, 0);
    // Imported elsewhere, the archive gives all three databases or none.
    test_installation copy;
    ASSERT_EQ(copy.run({"import", (installation.root() / "during.nka").string()}).status, 0);
    int databases = 0;
    for (const char* file : {"Network.db", "Switching.db", "DeviceRedundancy.db"}) databases += fs::exists(copy.database(file));
    EXPECT_TRUE(databases == 0 || databases == 3) << databases;
  }
}

}  // namespace
}  // namespace netkeep::testing

#endif
