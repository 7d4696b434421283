#include "tests/support/fault_support.h"

#include <sqlite3.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <stdexcept>

#include "platform/win32/registry_hive_format.h"
#include "tests/support/folder_snapshot.h"

namespace netkeep::testing {

namespace fs = std::filesystem;

std::string failed_phase(const std::string& message, const std::string& clearing) {
  return clearing + "An error occurred: " + message + "\n";
}

installation_state save_state(const test_installation& installation) {
  return {read_file(installation.hive_file()), folder_snapshot(installation.data_directory())};
}

void restore_state(const test_installation& installation, const installation_state& state) {
  write_file(installation.hive_file(), state.hive);
  fs::remove_all(installation.data_directory());
  fs::create_directories(installation.data_directory());
  for (const auto& [relative, contents] : state.data) {
    const fs::path path = installation.data_directory() / relative;
    if (contents == "<folder>") {
      fs::create_directories(path);
    } else {
      fs::create_directories(path.parent_path());
      write_file(path, contents);
    }
  }
}

std::vector<std::string> leftover_temporary_files(const test_installation& installation) {
  std::vector<std::string> found;
  for (const fs::path& folder : {installation.root(), installation.data_directory()}) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".tmp") || name.ends_with(".probe") || name.starts_with(".registry.reg.")) {
        found.push_back(fs::relative(entry.path(), installation.root()).string());
      }
    }
  }
  return found;
}

std::string integrity_check(const fs::path& database) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "cannot open " + database.string();
  }
  sqlite3_stmt* statement = nullptr;
  std::string result;
  if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      if (!result.empty()) result += "\n";
      result += reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
  } else {
    result = sqlite3_errmsg(db);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return result;
}

std::string hive_parse_error(const test_installation& installation) {
  try {
    win32::registry::parse_hive(read_file(installation.hive_file()), installation.hive_file().string());
    return "";
  } catch (const std::runtime_error& failure) {
    return failure.what();
  }
}

void sql_on(const fs::path& database, const std::string& statements) {
  sqlite3* db = nullptr;
  if (sqlite3_open(database.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + database.string());
  }
  char* message = nullptr;
  const int result = sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &message);
  std::string text = message != nullptr ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  if (result != SQLITE_OK) throw std::runtime_error(text);
}

namespace {

// The rows of `sql` on `db`, each row's columns joined by "|".
std::vector<std::string> rows_of(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
  }
  std::vector<std::string> rows;
  int result;
  while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
    std::string row;
    for (int column = 0; column < sqlite3_column_count(statement); ++column) {
      const unsigned char* text = sqlite3_column_text(statement, column);
      row += (column > 0 ? "|" : "") + (text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : "NULL");
    }
    rows.push_back(row);
  }
  sqlite3_finalize(statement);
  if (result != SQLITE_DONE) throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
  return rows;
}

// An open connection, closed when the owner ends.
struct connection {
  explicit connection(const fs::path& database) {
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      throw std::runtime_error("cannot open " + database.string());
    }
  }
  ~connection() { sqlite3_close(db); }
  sqlite3* db = nullptr;
};

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

std::vector<std::string> table_names(sqlite3* db) {
  return rows_of(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY name");
}

}  // namespace

std::string database_contents(const fs::path& database) {
  connection c(database);
  std::string contents;
  for (const std::string& row : rows_of(c.db, "SELECT type, name, sql FROM sqlite_master ORDER BY type, name")) {
    contents += row + "\n";
  }
  for (const std::string& table : table_names(c.db)) {
    std::vector<std::string> rows = rows_of(c.db, "SELECT * FROM " + quoted(table));
    std::sort(rows.begin(), rows.end());
    contents += "[" + table + "]\n";
    for (const std::string& row : rows) contents += row + "\n";
  }
  return contents;
}

#ifndef _WIN32
namespace {

// Runs `sql` on `database` in a child process that is then killed, as a
// program that dies before it commits or closes.
void run_and_die(const fs::path& database, const std::string& sql) {
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("cannot fork");
  if (child == 0) {
    sqlite3* db = nullptr;
    if (sqlite3_open(database.c_str(), &db) != SQLITE_OK ||
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      ::_exit(1);
    }
    ::kill(::getpid(), SIGKILL);
    ::_exit(2);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFSIGNALED(status)) throw std::runtime_error("the dying connection failed on " + database.string());
}

bool has_contents(const fs::path& file) {
  std::error_code ignored;
  return fs::file_size(file, ignored) > 0 && !ignored;
}

}  // namespace

void leave_hot_journal(const fs::path& database) {
  std::string updates;
  {
    connection c(database);
    for (const std::string& table : table_names(c.db)) {
      std::string assignments;
      for (const std::string& column : rows_of(c.db, "SELECT name FROM pragma_table_info('" + table + "')")) {
        if (!assignments.empty()) assignments += ", ";
        assignments += quoted(column) + " = CASE WHEN typeof(" + quoted(column) + ") = 'text' THEN 'half-written ' || " +
                       quoted(column) + " ELSE " + quoted(column) + " END";
      }
      updates += "UPDATE " + quoted(table) + " SET " + assignments + ";";
    }
  }
  run_and_die(database, "PRAGMA cache_size = 1; PRAGMA synchronous = OFF; BEGIN; " + updates);
  // Beside the file that a link names, where SQLite keeps it.
  if (!has_contents(fs::canonical(database).string() + "-journal")) {
    throw std::runtime_error("no hot journal beside " + database.string());
  }
}

void leave_write_ahead_log(const fs::path& database, const std::string& statements) {
  run_and_die(database, "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0; " + statements);
  if (!has_contents(database.string() + "-wal")) throw std::runtime_error("no log beside " + database.string());
}

namespace {

// Messages between the test and the child: text ended by a null character.
void send(int fd, const std::string& text) {
  const std::string message = text + '\0';
  std::size_t done = 0;
  while (done < message.size()) {
    const ssize_t written = ::write(fd, message.data() + done, message.size() - done);
    if (written <= 0) throw std::runtime_error("the other connection's process is gone");
    done += static_cast<std::size_t>(written);
  }
}

bool receive(int fd, std::string& text) {
  text.clear();
  char c;
  for (;;) {
    if (::read(fd, &c, 1) != 1) return false;
    if (c == '\0') return true;
    text += c;
  }
}

// The child: runs each statement text it receives and answers "" or the
// error message, until its input ends.
[[noreturn]] void serve(const fs::path& database, int in, int out) {
  sqlite3* db = nullptr;
  if (sqlite3_open(database.c_str(), &db) != SQLITE_OK) ::_exit(1);
  for (std::string sql; receive(in, sql);) {
    char* message = nullptr;
    const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    std::string answer = result == SQLITE_OK ? "" : (message != nullptr ? message : "failed");
    sqlite3_free(message);
    send(out, answer);
  }
  sqlite3_close_v2(db);  // rolls back what was not committed
  ::_exit(0);
}

}  // namespace

other_connection::other_connection(const fs::path& database, const std::string& begin) {
  int down[2], up[2];
  if (::pipe(down) != 0 || ::pipe(up) != 0) throw std::runtime_error("cannot make pipes");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("cannot fork");
  if (pid_ == 0) {
    ::close(down[1]);
    ::close(up[0]);
    serve(database, down[0], up[1]);
  }
  ::close(down[0]);
  ::close(up[1]);
  to_child_ = down[1];
  from_child_ = up[0];
  exec(begin);
}

other_connection::~other_connection() {
  ::close(to_child_);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  ::close(from_child_);
}

void other_connection::exec(const std::string& sql) {
  send(to_child_, sql);
  std::string answer;
  if (!receive(from_child_, answer)) throw std::runtime_error("the other connection's process is gone");
  if (!answer.empty()) throw std::runtime_error(answer);
}
#endif

}  // namespace netkeep::testing
