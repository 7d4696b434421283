#include "tests/support/test_installation.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/sqlite/product_schema.h"

namespace netkeep::testing {
namespace {

std::filesystem::path make_temp_folder() {
  static std::atomic<int> counter{0};
  std::filesystem::path base = scratch_folder();
  for (;;) {
    std::filesystem::path candidate =
        base / ("netkeep-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(candidate)) return candidate;
  }
}

struct connection {
  sqlite3* db = nullptr;
  explicit connection(const std::filesystem::path& file) {
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
      std::string message = sqlite3_errmsg(db);
      sqlite3_close(db);
      throw std::runtime_error("cannot open " + file.string() + ": " + message);
    }
  }
  ~connection() { sqlite3_close(db); }
};

}  // namespace

std::string reg_escape(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string section(const std::string& relative_path) {
  std::string path = installation_key;
  if (!relative_path.empty()) path += "\\" + relative_path;
  return "[" + path + "]";
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

test_installation::test_installation() : root_(make_temp_folder()) {
  std::filesystem::create_directories(data_directory());
  set_registry("");
}

test_installation::~test_installation() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

void test_installation::set_registry(const std::string& body) {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  text += section("") + "\n";
  text += "\"path\"=\"" + reg_escape(install_path()) + "\"\n";
  text += "\"version\"=\"3.0\"\n\n";
  text += body;
  if (!text.empty() && text.back() != '\n') text += '\n';
  write_file(hive_file(), text);
}

std::string test_installation::registry_text() const { return read_file(hive_file()); }

void test_installation::create_databases(bool with_indexes) {
  for (const char* file : {"Network.db", "Switching.db", "DeviceRedundancy.db"}) {
    std::filesystem::remove(database(file));
    sql(file, product::schema_sql(file, with_indexes));
  }
}

void test_installation::sql(const std::string& database_file, const std::string& statements) const {
  connection c(database(database_file));
  char* message = nullptr;
  if (sqlite3_exec(c.db, statements.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : "unknown";
    sqlite3_free(message);
    throw std::runtime_error(database_file + ": " + text);
  }
}

std::vector<std::string> test_installation::query(const std::string& database_file, const std::string& select) const {
  connection c(database(database_file));
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(c.db, select.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    throw std::runtime_error(database_file + ": " + sqlite3_errmsg(c.db));
  }
  std::vector<std::string> rows;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      if (i > 0) row += "|";
      const unsigned char* text = sqlite3_column_text(statement, i);
      row += text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
    }
    rows.push_back(row);
  }
  sqlite3_finalize(statement);
  return rows;
}

run_result test_installation::run(const std::vector<std::string>& words) const {
  // In root(), so that relative archive names land there.
  return run_target(hive_file(), words, root_);
}

}  // namespace netkeep::testing
