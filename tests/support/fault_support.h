#pragma once
// Helpers of the fault tests: the whole state of an installation, to show
// that a failed command lost or half-wrote nothing, and an SQLite connection
// that another program holds.

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/test_installation.h"

struct sqlite3;

namespace netkeep::testing {

// Standard error of a command whose phase ended with the error `message`:
// the cleared spinner line, then the error line.
std::string failed_phase(const std::string& message, const std::string& clearing = "\r            \r");

// The hive file's bytes and every file and folder of the data directory.
struct installation_state {
  std::string hive;
  std::map<std::string, std::string> data;
  bool operator==(const installation_state&) const = default;
};

installation_state save_state(const test_installation& installation);

// Puts the hive file and the data directory back as they were saved,
// removing whatever was added.
void restore_state(const test_installation& installation, const installation_state& state);

// The files of the data directory and the installation's root folder that a
// netkeep process left under a temporary name.
std::vector<std::string> leftover_temporary_files(const test_installation& installation);

// SQLite's "PRAGMA integrity_check" of a database file: "ok" when sound.
std::string integrity_check(const std::filesystem::path& database);

// Whether the hive file reads without error, and the reader's message if not.
std::string hive_parse_error(const test_installation& installation);

// Runs SQL on a database file in this process; throws on failure.
void sql_on(const std::filesystem::path& database, const std::string& statements);

// Every table's schema and rows as text, tables in name order and rows
// sorted: equal for two databases that hold the same. Opening the file rolls
// back a hot journal beside it, as any program's next open would.
std::string database_contents(const std::filesystem::path& database);

#ifndef _WIN32
// Leaves a hot journal beside `database` as a program killed in the middle
// of a transaction does: a child process rewrites the text of every row of
// every table, with a cache of one page so that SQLite writes part of the
// new pages into the file itself, and is killed (SIGKILL) before it commits.
void leave_hot_journal(const std::filesystem::path& database);

// Leaves committed transactions in the write-ahead log of `database`: a
// child process puts the database in WAL mode, runs `statements` with
// automatic checkpoints off and is killed (SIGKILL), so that the log and its
// index stay beside the file.
void leave_write_ahead_log(const std::filesystem::path& database, const std::string& statements);

// A connection of another program (a child process, since POSIX locks are
// per process and any file closed in this one would release them), holding
// a transaction from construction to commit() or destruction (rolled back
// then).
class other_connection {
 public:
  // Opens `database` in the child and runs `begin` ("BEGIN EXCLUSIVE", ...).
  other_connection(const std::filesystem::path& database, const std::string& begin);
  ~other_connection();
  other_connection(const other_connection&) = delete;
  other_connection& operator=(const other_connection&) = delete;

  // Runs SQL inside the transaction; throws on failure.
  void exec(const std::string& sql);
  void commit() { exec("COMMIT"); }

 private:
  int pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
};
#endif

}  // namespace netkeep::testing
