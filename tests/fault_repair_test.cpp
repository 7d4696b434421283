// POSIX only: `repair` checks that it can make every change before it makes
// the first one. Another program that reads or writes a database that a
// repair will write, and a hive that cannot be written back, stop it with
// the installation untouched; a database that no repair writes may be held.
// "repairs complete" means that the registry's repairs are in the hive.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/fault_support.h"
#include "tests/support/network_fixture.h"
#include "tests/support/process_control.h"
#include "tests/support/target.h"
#include "tests/support/test_installation.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;

const std::string cleared = "\r            \r";
const std::string stale_property = "{41D79A62-C53D-45DB-8F45-F44649E27BB6}";

class RepairFaults : public ::testing::Test {
 protected:
  RepairFaults() {
    // Two correctable problems: site 8's inband property names a missing
    // inband (a registry key, then a row of Network.db), and an orphaned
    // managed device (Switching.db). DeviceRedundancy.db is written by no
    // repair.
    install_network(installation, section("Network\\Properties\\8\\" + stale_property) + "\n\"Id\"=\"15\"\n");
    installation.sql("Network.db", "INSERT INTO property VALUES (8, x'629AD7413DC5DB458F45F44649E27BB6', '15')");
    installation.sql("Switching.db", "INSERT INTO managed_device_map VALUES (9, 'GONE')");
  }

  bool repaired() const {
    return installation.registry_text().find("Properties\\8\\" + stale_property) == std::string::npos &&
           installation.query("Network.db", "SELECT id FROM property WHERE id = 8").empty() &&
           installation.query("Switching.db", "SELECT id FROM managed_device_map WHERE id = 9").empty();
  }

  test_installation installation;
};

TEST_F(RepairFaults, AReaderOfADatabaseThatARepairWritesStopsRepairBeforeItsFirstChange) {
  other_connection reader(installation.database("Switching.db"), "BEGIN");
  reader.exec("SELECT count(*) FROM managed_device_map");
  const installation_state before = save_state(installation);

  run_result r = installation.run({"repair"});
  EXPECT_EQ(r.err, cleared + "\r" + summary(2, 0) + failed_phase("database is locked"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(save_state(installation), before);
}

TEST_F(RepairFaults, ADatabaseThatNoRepairWritesMayBeHeldByAnotherProgram) {
  {
    other_connection writer(installation.database("DeviceRedundancy.db"), "BEGIN IMMEDIATE");
    writer.exec("UPDATE slot SET role = role");
    run_result r = installation.run({"repair"});
    EXPECT_EQ(r.err, cleared + "\r" + summary(2, 0) + cleared + "repairs complete\n");
    EXPECT_TRUE(repaired());
  }

  // With only uncorrectable problems nothing is written, and every database
  // may be held.
  installation.set_registry(network_registry() + section("Bandwidth\\Satellites\\3") + "\n\"Name\"=\"Sat-C\"\n");
  other_connection network(installation.database("Network.db"), "BEGIN IMMEDIATE");
  other_connection switching(installation.database("Switching.db"), "BEGIN IMMEDIATE");
  other_connection redundancy(installation.database("DeviceRedundancy.db"), "BEGIN IMMEDIATE");
  run_result r = installation.run({"repair"});
  EXPECT_EQ(r.err, cleared + "\r" + summary(0, 1) + cleared + "repairs complete\n");
  EXPECT_EQ(r.status, 0);
}

class UnwritableHive : public RepairFaults {
 protected:
  void SetUp() override {
    SKIP_ON_WINDOWS_TARGET("the write-back of the file-backed hive's file, under POSIX permissions");
    if (!permissions_apply()) GTEST_SKIP() << "running as root without the user nobody: permissions cannot apply";
    give_to_unprivileged_user(installation);
  }
  void TearDown() override { make_writable(installation.root()); }

  run_result run(const std::vector<std::string>& words, std::uint64_t file_size_limit = 0) {
    run_options options;
    options.unprivileged = true;
    options.file_size_limit = file_size_limit;
    return run_netkeep(installation, words, options);
  }
};

TEST_F(UnwritableHive, AHiveInAReadOnlyFolderStopsRepairBeforeItsFirstChange) {
  make_read_only(installation.root());
  const installation_state before = save_state(installation);

  run_result r = run({"repair"});
  EXPECT_EQ(r.err, cleared + "\r" + summary(2, 0) +
                       failed_phase("cannot write the registry file " + installation.hive_file().string() +
                                    ": Permission denied"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(save_state(installation), before);

  // A database that no repair writes may be read-only; a hive that no
  // repair writes may be, too.
  make_writable(installation.root());
  installation.sql("Network.db", "DELETE FROM property WHERE id = 8");
  installation.set_registry(network_registry());
  give_to_unprivileged_user(installation);
  make_read_only(installation.root());
  make_read_only(installation.database("DeviceRedundancy.db"));
  r = run({"repair"});
  EXPECT_EQ(r.err, cleared + "\r" + summary(1, 0) + cleared + "repairs complete\n");
  EXPECT_TRUE(installation.query("Switching.db", "SELECT id FROM managed_device_map WHERE id = 9").empty());
  make_writable(installation.database("DeviceRedundancy.db"));
}

TEST_F(UnwritableHive, RepairsAreCompleteOnlyOnceTheHiveIsWrittenBack) {
  // A hive larger than the file size limit that the databases' journals
  // stay under: the probe's empty temporary file is made, the write-back
  // fails.
  std::string values;
  for (int i = 0; i < 3000; ++i) values += "\"Value" + std::to_string(i) + "\"=\"" + std::string(40, 'v') + "\"\n";
  installation.set_registry(network_registry() + section("Network\\Properties\\8\\" + stale_property) +
                            "\n\"Id\"=\"15\"\n\n" + section("Many") + "\n" + values);
  give_to_unprivileged_user(installation);
  const std::string hive = installation.registry_text();
  ASSERT_GT(hive.size(), 128u * 1024);

  run_result r = run({"repair"}, 64 * 1024);
  EXPECT_EQ(r.err, cleared + "\r" + summary(2, 0) +
                       failed_phase("cannot write the registry file " + installation.hive_file().string() +
                                    ": File too large"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(installation.registry_text(), hive);
  EXPECT_EQ(leftover_temporary_files(installation), std::vector<std::string>{});
}

}  // namespace
}  // namespace netkeep::testing

#endif
