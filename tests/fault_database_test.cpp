// Databases that cannot be used as they are: a file that is no database, a
// database that another connection holds locked, and (POSIX only) a
// read-only database file or data folder, for every command that touches
// them. A failing command writes exactly one error line, exits with status
// 1 and leaves the hive and every data file as they were.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/fault_support.h"
#include "tests/support/folder_snapshot.h"
#include "tests/support/network_fixture.h"
#include "tests/support/process_control.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;

const std::string cleared = "\r            \r";
const std::string reset_cleared = "\r           \r";
const std::string orphan_device = "INSERT INTO managed_device_map VALUES (9, 'GONE')";

class DatabaseFaults : public ::testing::Test {
 protected:
  DatabaseFaults() {
    // Two correctable problems, so that repair has something to write: first
    // site 8's property naming a missing inband (a registry key, then a row
    // of Network.db), then an orphaned managed device (Switching.db).
    install_network(installation,
                    section("Network\\Properties\\8\\{41D79A62-C53D-45DB-8F45-F44649E27BB6}") + "\n\"Id\"=\"15\"\n");
    installation.sql("Switching.db", orphan_device);
    install_network(source);
    source.sql("Network.db", "CREATE TABLE imported(x); INSERT INTO imported VALUES ('from the archive')");
    EXPECT_EQ(source.run({"export", "source.nka"}).status, 0);
    archive = program_path(source.root() / "source.nka");
  }

  test_installation installation;
  test_installation source;
  std::string archive;
};

// --- A file that is no database.

TEST_F(DatabaseFaults, AFileThatIsNoDatabaseStopsVerifyAndRepairAndIsLeftAsItIs) {
  write_file(installation.database("Switching.db"), std::string(4096, 'x'));
  const installation_state before = save_state(installation);
  for (const char* command : {"verify", "repair"}) {
    SCOPED_TRACE(command);
    run_result r = installation.run({command});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, failed_phase("file is not a database"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(save_state(installation), before);
  }
}

TEST_F(DatabaseFaults, ExportImportAndResetTakeAFileThatIsNoDatabaseAsItIs) {
  // They copy, replace and delete whole files without reading them as
  // databases: a damaged database is saved for analysis, replaced by a
  // sound one from a backup, or removed by a reset.
  const std::string damaged(4096, 'x');
  write_file(installation.database("Switching.db"), damaged);

  run_result exported = installation.run({"export", "damaged.nka"});
  EXPECT_EQ(exported.err, cleared);
  EXPECT_EQ(exported.status, 0);
  test_installation copy;
  ASSERT_EQ(copy.run({"import", program_path(installation.root() / "damaged.nka")}).status, 0);
  EXPECT_EQ(read_file(copy.database("Switching.db")), damaged);

  run_result imported = installation.run({"import", archive});
  EXPECT_EQ(imported.err, cleared);
  EXPECT_EQ(imported.status, 0);
  EXPECT_EQ(database_bytes(installation), database_bytes(source));

  write_file(installation.database("Switching.db"), damaged);
  run_result reset = installation.run({"reset"});
  EXPECT_EQ(reset.err, reset_cleared);
  EXPECT_EQ(reset.status, 0);
  EXPECT_FALSE(fs::exists(installation.database("Switching.db")));
}

#ifndef _WIN32
// --- A database that another connection holds locked (by another process).

TEST_F(DatabaseFaults, ADatabaseLockedByAnotherConnectionStopsEveryCommandBeforeItChangesAnything) {
  write_file(installation.root() / "previous.nka", "the previous archive");
  const std::string previous_archive = read_file(installation.root() / "previous.nka");
  {
    other_connection holder(installation.database("Switching.db"), "BEGIN EXCLUSIVE");
    holder.exec("INSERT INTO managed_device_map VALUES (20, 'NEW-BY-THE-SERVICE')");
    const installation_state before = save_state(installation);  // with the holder's journal
    const std::pair<std::vector<std::string>, std::string> commands[] = {
        {{"verify"}, cleared},
        {{"repair"}, cleared},
        {{"export", "previous.nka"}, cleared},
        {{"import", archive}, cleared},
        {{"reset"}, reset_cleared},
    };
    for (const auto& [words, clearing] : commands) {
      SCOPED_TRACE(words.front());
      run_result r = installation.run(words);
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, failed_phase("database is locked", clearing));
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(save_state(installation), before);
      EXPECT_EQ(read_file(installation.root() / "previous.nka"), previous_archive);
      EXPECT_EQ(leftover_temporary_files(installation), std::vector<std::string>{});
    }
    holder.commit();
  }
  // The other program's change was not lost.
  EXPECT_EQ(installation.query("Switching.db", "SELECT moniker FROM managed_device_map WHERE id = 20"),
            std::vector<std::string>{"NEW-BY-THE-SERVICE"});
}

TEST_F(DatabaseFaults, AReaderOfTheDatabaseDoesNotStopExportButStopsImportAndReset) {
  other_connection reader(installation.database("Network.db"), "BEGIN");
  reader.exec("SELECT count(*) FROM site_data");
  EXPECT_EQ(installation.run({"export", "while-read.nka"}).status, 0);
  const installation_state before = save_state(installation);
  EXPECT_EQ(installation.run({"import", archive}).err, failed_phase("database is locked"));
  EXPECT_EQ(installation.run({"reset"}).err, failed_phase("database is locked", reset_cleared));
  EXPECT_EQ(save_state(installation), before);
}

// --- A journal that a killed program left beside a database.

// A table "notes" of 2000 rows in Network.db, more than one page of cache
// holds.
void add_notes(const test_installation& installation) {
  installation.sql("Network.db",
                   "CREATE TABLE notes(x); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
                   " INSERT INTO notes SELECT printf('note %04d %s', i, zeroblob(100)) FROM n");
}

// The notes of Network.db as exported from `installation` and imported into
// a new one.
std::vector<std::string> exported_notes(const test_installation& installation) {
  EXPECT_EQ(installation.run({"export", "saved.nka"}).status, 0);
  test_installation copy;
  EXPECT_EQ(copy.run({"import", program_path(installation.root() / "saved.nka")}).status, 0);
  EXPECT_EQ(integrity_check(copy.database("Network.db")), "ok");
  return copy.query("Network.db", "SELECT count(*), min(x) LIKE 'note 0001%' FROM notes");
}

TEST_F(DatabaseFaults, AHotJournalIsRolledBackBeforeExportCopiesTheDatabase) {
  add_notes(installation);
  leave_hot_journal(installation.database("Network.db"));
  EXPECT_EQ(exported_notes(installation), std::vector<std::string>{"2000|1"});
}

// --- A database in write-ahead log mode that another program holds open.

const char* const log_mode = "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0";

TEST_F(DatabaseFaults, ExportFoldsInTheLogOfADatabaseThatAnotherProgramHoldsOpen) {
  add_notes(installation);
  other_connection service(installation.database("Network.db"), log_mode);
  service.exec("UPDATE notes SET x = 'note 2000 committed in the log' WHERE rowid = 2000");
  ASSERT_GT(fs::file_size(installation.database("Network.db").string() + "-wal"), 0u);

  EXPECT_EQ(exported_notes(installation), std::vector<std::string>{"2000|1"});
  test_installation copy;
  ASSERT_EQ(copy.run({"import", program_path(installation.root() / "saved.nka")}).status, 0);
  EXPECT_EQ(copy.query("Network.db", "SELECT x FROM notes WHERE rowid = 2000"),
            std::vector<std::string>{"note 2000 committed in the log"});
  // The other program goes on writing.
  service.exec("UPDATE notes SET x = 'after the export' WHERE rowid = 1");
}

TEST_F(DatabaseFaults, ALogThatAReaderOfAnotherProgramKeepsStopsExport) {
  add_notes(installation);
  other_connection writer(installation.database("Network.db"), log_mode);
  other_connection reader(installation.database("Network.db"), "BEGIN");
  reader.exec("SELECT count(*) FROM notes");  // reads the file as it was before the writes
  writer.exec("UPDATE notes SET x = 'committed in the log'");
  write_file(installation.root() / "previous.nka", "the previous archive");
  const installation_state before = save_state(installation);

  run_result r = installation.run({"export", "previous.nka"});
  EXPECT_EQ(r.err, failed_phase("cannot copy " + program_path(installation.database("Network.db")) +
                                " whole: its write-ahead log cannot be folded into it (database is locked)"));
  EXPECT_EQ(r.status, 1);
  const installation_state after = save_state(installation);
  for (const auto& [name, bytes] : before.data) {
    if (!name.ends_with("-shm")) {
      EXPECT_EQ(after.data.at(name), bytes) << name;
    }
  }
  EXPECT_EQ(read_file(installation.root() / "previous.nka"), "the previous archive");
  EXPECT_EQ(leftover_temporary_files(installation), std::vector<std::string>{});
}

// --- Read-only database files and data folders (POSIX permissions).

class ReadOnlyDatabaseFaults : public DatabaseFaults {
 protected:
  void SetUp() override {
    // Wine runs as root here, and as root it ignores the read-only
    // attribute that missing write permissions stand for.
    SKIP_ON_WINDOWS_TARGET("POSIX permissions for an unprivileged user");
    if (!permissions_apply()) GTEST_SKIP() << "running as root without the user nobody: permissions cannot apply";
    give_to_unprivileged_user(installation);
  }
  void TearDown() override {
    if (fs::exists(installation.data_directory())) make_writable(installation.data_directory());
  }

  run_result run(const std::vector<std::string>& words) {
    run_options options;
    options.unprivileged = true;
    return run_netkeep(installation, words, options);
  }
};

TEST_F(ReadOnlyDatabaseFaults, AReadOnlyDatabaseIsVerifiedAndExportedButNotRepaired) {
  // Repair fails before its first repair, which would delete a registry key
  // and leave the registry repaired and the databases not.
  make_read_only(installation.database("Switching.db"));
  const installation_state before = save_state(installation);

  run_result verify = run({"verify"});
  EXPECT_EQ(verify.status, 0) << verify.err;
  run_result exported = run({"export", "read-only.nka"});
  EXPECT_EQ(exported.err, cleared);
  EXPECT_EQ(exported.status, 0);

  run_result repair = run({"repair"});
  EXPECT_EQ(repair.out, "");
  EXPECT_TRUE(repair.err.ends_with(failed_phase("attempt to write a readonly database"))) << repair.err;
  EXPECT_EQ(repair.status, 1);
  EXPECT_EQ(save_state(installation), before);
}

TEST_F(ReadOnlyDatabaseFaults, AHotJournalThatCannotBeRolledBackStopsExport) {
  add_notes(installation);
  leave_hot_journal(installation.database("Network.db"));
  give_to_unprivileged_user(installation);  // the journal too
  write_file(installation.root() / "previous.nka", "the previous archive");
  // In a read-only folder SQLite plays the journal back but cannot delete
  // it, which leaves the database file rolled back and the journal hot.
  const std::pair<fs::path, std::string> cases[] = {
      {installation.database("Network.db"), "attempt to write a readonly database"},
      {installation.data_directory(), "disk I/O error"},
  };
  for (const auto& [read_only, reason] : cases) {
    SCOPED_TRACE(read_only);
    make_read_only(read_only);
    const installation_state before = save_state(installation);
    run_result r = run({"export", "previous.nka"});
    EXPECT_EQ(r.err, failed_phase("cannot copy " + installation.database("Network.db").string() +
                                  " whole: a transaction that a killed program left in its journal cannot be "
                                  "rolled back (" + reason + ")"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(installation.root() / "previous.nka"), "the previous archive");
    EXPECT_EQ(leftover_temporary_files(installation), std::vector<std::string>{});
    if (read_only == installation.database("Network.db")) {
      EXPECT_EQ(save_state(installation), before);
    }
    make_writable(read_only);
  }
  EXPECT_EQ(exported_notes(installation), std::vector<std::string>{"2000|1"});
}

TEST_F(ReadOnlyDatabaseFaults, AReadOnlyDataFolderStopsRepairImportAndResetBeforeTheyChangeAnything) {
  make_read_only(installation.data_directory());
  const installation_state before = save_state(installation);

  run_result verify = run({"verify"});
  EXPECT_EQ(verify.status, 0) << verify.err;
  EXPECT_EQ(run({"export", "read-only.nka"}).status, 0);

  run_result repair = run({"repair"});
  EXPECT_TRUE(repair.err.ends_with(failed_phase("attempt to write a readonly database"))) << repair.err;
  EXPECT_EQ(repair.status, 1);
  EXPECT_EQ(save_state(installation), before);

  // Import would otherwise restore the registry and fail on the files.
  run_result imported = run({"import", archive});
  EXPECT_EQ(imported.err, failed_phase("failed to open file"));
  EXPECT_EQ(imported.status, 1);
  EXPECT_EQ(save_state(installation), before);

  // Reset would otherwise delete the registry configuration and then fail on
  // the files.
  run_result reset = run({"reset"});
  EXPECT_EQ(reset.err, failed_phase("filesystem error: cannot remove: Permission denied [" +
                                        installation.database("DeviceRedundancy.db").string() + "]",
                                    reset_cleared));
  EXPECT_EQ(reset.status, 1);
  EXPECT_EQ(save_state(installation), before);
}

#endif  // _WIN32

}  // namespace
}  // namespace netkeep::testing
