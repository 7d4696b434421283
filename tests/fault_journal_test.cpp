// POSIX only: journals and write-ahead logs that a killed program left beside
// the databases that import replaces. SQLite plays whatever lies beside a
// database file back onto it at the next open, so a journal of the old
// database would be played back onto the imported one. Import rolls back or
// folds each into the old database first, removes what is left, and only
// then renames the imported file into place.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/fault_support.h"
#include "tests/support/network_fixture.h"
#include "tests/support/process_control.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;

const char* const databases[] = {"Network.db", "Switching.db", "DeviceRedundancy.db"};
const char* const side_files[] = {"-journal", "-wal", "-shm"};

class LeftJournals : public ::testing::Test {
 protected:
  LeftJournals() {
    install_network(installation);
    // Enough rows that a transaction with a one-page cache writes part of
    // its pages into the database file itself.
    for (const char* database : databases) {
      installation.sql(database,
                       "CREATE TABLE notes(x); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                       "i < 500) INSERT INTO notes SELECT printf('note %04d %s', i, zeroblob(200)) FROM n");
    }
    install_network(source);
    source.sql("Network.db", "CREATE TABLE imported(x); INSERT INTO imported VALUES ('from the archive')");
    EXPECT_EQ(source.run({"export", "source.nka"}).status, 0);
    archive = program_path(source.root() / "source.nka");
    for (const char* database : databases) imported[database] = database_contents(source.database(database));
  }

  // Each database holds exactly what the archive holds, passes the integrity
  // check, and nothing of SQLite's is left beside it.
  void expect_imported() {
    for (const char* database : databases) {
      SCOPED_TRACE(database);
      for (const char* side : side_files) {
        EXPECT_FALSE(fs::exists(installation.database(std::string(database) + side))) << side;
      }
      EXPECT_EQ(integrity_check(installation.database(database)), "ok");
      EXPECT_EQ(database_contents(installation.database(database)), imported.at(database));
    }
    run_result r = installation.run({"verify"});
    EXPECT_EQ(r.status, 0) << r.err;
  }

  test_installation installation;
  test_installation source;
  std::string archive;
  std::map<std::string, std::string> imported;
};

TEST_F(LeftJournals, HotJournalsAreRolledBackAndRemovedBeforeTheImportedDatabasesArrive) {
  for (const char* database : databases) leave_hot_journal(installation.database(database));

  run_result r = installation.run({"import", archive});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_imported();
}

TEST_F(LeftJournals, WriteAheadLogsAreFoldedAndRemovedBeforeTheImportedDatabasesArrive) {
  for (const char* database : databases) {
    leave_write_ahead_log(installation.database(database),
                          "CREATE TABLE from_the_log(x); INSERT INTO from_the_log VALUES ('committed, in the log')");
  }

  run_result r = installation.run({"import", archive});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_imported();
}

TEST_F(LeftJournals, AJournalWithoutItsDatabaseIsRemovedBeforeTheImportedOneArrives) {
  // As a reset stopped between a database and its journal leaves them.
  leave_hot_journal(installation.database("Network.db"));
  fs::remove(installation.database("Network.db"));

  run_result r = installation.run({"import", archive});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_imported();
}

TEST_F(LeftJournals, AHotJournalThatCannotBeRolledBackStopsTheImportBeforeAnyChange) {
  SKIP_ON_WINDOWS_TARGET("POSIX permissions for an unprivileged user");
  if (!permissions_apply()) GTEST_SKIP() << "running as root without the user nobody: permissions cannot apply";
  give_to_unprivileged_user(installation);
  leave_hot_journal(installation.database("Switching.db"));
  give_to_unprivileged_user(installation);
  // The database cannot be written, so its journal cannot be played back;
  // replacing the file anyway would leave the journal to the imported one.
  make_read_only(installation.database("Switching.db"));
  const installation_state before = save_state(installation);

  run_options options;
  options.unprivileged = true;
  run_result r = run_netkeep(installation, {"import", archive}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, failed_phase("cannot roll back the journal of " + installation.database("Switching.db").string() +
                                ": attempt to write a readonly database"));
  EXPECT_EQ(save_state(installation), before);
}

}  // namespace
}  // namespace netkeep::testing

#endif
