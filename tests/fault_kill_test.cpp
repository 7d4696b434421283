// POSIX only: netkeep killed (SIGKILL) at random moments of import, export,
// repair and reset, 50 times each, most of them with the hot journals of a
// killed program beside the databases. After every kill the hive file reads,
// every database passes SQLite's integrity check and `verify` runs; import
// leaves each file whole, either the old one or the archive's, and export
// leaves the databases as they were and the archive whole or absent.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "tests/support/fault_support.h"
#include "tests/support/network_fixture.h"
#include "tests/support/process_control.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::microseconds;

constexpr int kills = 50;

// What holds after a kill is the file-backed hive's: it is written back
// whole or not at all. The Windows registry applies each change at once, so
// a killed import or repair may leave part of its registry changes there.
const char* const killed_reason = "SIGKILL at random moments; the file-backed hive's all-or-nothing write-back";
const char* const databases[] = {"Network.db", "Switching.db", "DeviceRedundancy.db"};

// How long one unkilled run of `words` takes from `state`; the state is
// restored afterwards.
microseconds duration_of(const test_installation& installation, const installation_state& state,
                         const std::vector<std::string>& words) {
  restore_state(installation, state);
  const auto start = std::chrono::steady_clock::now();
  run_result r = installation.run(words);
  const auto took = std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(r.status, 0) << r.err;
  restore_state(installation, state);
  return took;
}

// Kills `words` at `kills` random moments up to 1.2 times its duration, each
// time from `state`, and calls check() after each kill.
template <class Check>
void kill_repeatedly(const test_installation& installation, const installation_state& state,
                     const std::vector<std::string>& words, unsigned seed, Check check) {
  const microseconds took = duration_of(installation, state, words);
  std::mt19937 random(seed);
  std::uniform_int_distribution<long long> moment(0, took.count() * 6 / 5);
  for (int i = 0; i < kills; ++i) {
    restore_state(installation, state);
    run_options options;
    options.kill_after = microseconds(moment(random));
    SCOPED_TRACE("killed after " + std::to_string(options.kill_after.count()) + " us of about " +
                 std::to_string(took.count()));
    run_netkeep(installation, words, options);
    EXPECT_EQ(hive_parse_error(installation), "");
    check();
    for (const char* database : databases) {
      if (fs::exists(installation.database(database))) {
        EXPECT_EQ(integrity_check(installation.database(database)), "ok") << database;
      }
    }
    if (::testing::Test::HasFailure()) return;
  }
}

void expect_verify_runs(const test_installation& installation) {
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.status, 0) << r.err;
}

// Leaves a killed program's hot journal beside each database, over enough
// rows that part of its pages are in the database file itself.
void leave_hot_journals(const test_installation& installation) {
  for (const char* database : databases) {
    installation.sql(database,
                     "CREATE TABLE notes(x); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                     "i < 300) INSERT INTO notes SELECT printf('note %04d %s', i, zeroblob(200)) FROM n");
    leave_hot_journal(installation.database(database));
  }
}

// What each database of `state` holds once its journal is rolled back, as
// the next program to open it sees it; the state is restored afterwards.
std::map<std::string, std::string> contents_of(const test_installation& installation, const installation_state& state) {
  restore_state(installation, state);
  std::map<std::string, std::string> contents;
  for (const char* database : databases) contents[database] = database_contents(installation.database(database));
  restore_state(installation, state);
  return contents;
}

TEST(KilledCommands, ImportLeavesEachFileAndTheHiveOldOrNew) {
  SKIP_ON_WINDOWS_TARGET(killed_reason);
  test_installation source;
  install_network(source, section("Imported") + "\n\"From\"=\"the archive\"\n");
  source.sql("Network.db", "CREATE TABLE imported(x); INSERT INTO imported VALUES ('from the archive')");
  source.sql("Switching.db", "INSERT INTO allocation_space (id, bandwidth) VALUES (300, 1)");
  ASSERT_EQ(source.run({"export", "source.nka"}).status, 0);
  const std::string archive = program_path(source.root() / "source.nka");

  test_installation installation;
  install_network(installation);
  const installation_state old_state = save_state(installation);
  ASSERT_EQ(installation.run({"import", archive}).status, 0);
  const installation_state new_state = save_state(installation);

  kill_repeatedly(installation, old_state, {"import", archive}, 1, [&] {
    const installation_state now = save_state(installation);
    EXPECT_TRUE(now.hive == old_state.hive || now.hive == new_state.hive);
    for (const char* database : databases) {
      const std::string bytes = now.data.at(database);
      EXPECT_TRUE(bytes == old_state.data.at(database) || bytes == new_state.data.at(database)) << database;
    }
    expect_verify_runs(installation);
  });
}

TEST(KilledCommands, ImportOverHotJournalsLeavesEachDatabaseOldOrImported) {
  SKIP_ON_WINDOWS_TARGET(killed_reason);
  test_installation source;
  install_network(source, section("Imported") + "\n\"From\"=\"the archive\"\n");
  source.sql("Network.db", "CREATE TABLE imported(x); INSERT INTO imported VALUES ('from the archive')");
  ASSERT_EQ(source.run({"export", "source.nka"}).status, 0);
  const std::string archive = program_path(source.root() / "source.nka");
  std::map<std::string, std::string> imported;
  for (const char* database : databases) imported[database] = database_contents(source.database(database));

  test_installation installation;
  install_network(installation);
  leave_hot_journals(installation);
  const installation_state hot = save_state(installation);
  const std::map<std::string, std::string> old_contents = contents_of(installation, hot);

  kill_repeatedly(installation, hot, {"import", archive}, 4, [&] {
    for (const char* database : databases) {
      const std::string contents = database_contents(installation.database(database));
      EXPECT_TRUE(contents == old_contents.at(database) || contents == imported.at(database)) << database;
    }
    expect_verify_runs(installation);
  });
}

TEST(KilledCommands, ExportLeavesTheDatabasesAsTheyWereAndTheArchiveWholeOrAbsent) {
  SKIP_ON_WINDOWS_TARGET(killed_reason);
  test_installation installation;
  install_network(installation);
  leave_hot_journals(installation);
  const installation_state hot = save_state(installation);
  const std::map<std::string, std::string> old_contents = contents_of(installation, hot);
  ASSERT_EQ(installation.run({"export", "saved.nka"}).status, 0);
  const std::string whole = read_file(installation.root() / "saved.nka");
  fs::remove(installation.root() / "saved.nka");

  kill_repeatedly(installation, hot, {"export", "saved.nka"}, 5, [&] {
    for (const char* database : databases) {
      EXPECT_EQ(database_contents(installation.database(database)), old_contents.at(database)) << database;
    }
    if (fs::exists(installation.root() / "saved.nka")) {
      EXPECT_EQ(read_file(installation.root() / "saved.nka"), whole);
      fs::remove(installation.root() / "saved.nka");
    }
  });
}

TEST(KilledCommands, RepairLeavesSoundDatabasesAndHive) {
  SKIP_ON_WINDOWS_TARGET(killed_reason);
  test_installation installation;
  // A registry repair (the property of site 8 naming a missing inband) and many database
  // repairs (orphaned managed devices), each in its own statement.
  install_network(installation,
                  section("Network\\Properties\\8\\{41D79A62-C53D-45DB-8F45-F44649E27BB6}") + "\n\"Id\"=\"15\"\n");
  std::string orphans = "INSERT INTO managed_device_map VALUES ";
  for (int i = 0; i < 12; ++i) orphans += (i > 0 ? ", (" : "(") + std::to_string(100 + i) + ", 'GONE-" + std::to_string(i) + "')";
  installation.sql("Switching.db", orphans);
  leave_hot_journals(installation);
  const installation_state broken = save_state(installation);

  kill_repeatedly(installation, broken, {"repair"}, 2, [&] { expect_verify_runs(installation); });
}

TEST(KilledCommands, ResetLeavesAReadableHiveAndWholeDatabases) {
  SKIP_ON_WINDOWS_TARGET(killed_reason);
  test_installation installation;
  install_network(installation);
  leave_hot_journals(installation);
  const installation_state installed = save_state(installation);

  kill_repeatedly(installation, installed, {"reset"}, 3, [&] {
    // Databases that the reset already deleted are reported as missing.
    run_result r = installation.run({"verify"});
    if (r.status != 0) {
      EXPECT_NE(r.err.find("An error occurred: Database file not found: "), std::string::npos) << r.err;
    }
  });
}

}  // namespace
}  // namespace netkeep::testing

#endif
