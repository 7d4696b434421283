#pragma once
// For the unit tests of the checks: a report whose three connections are
// open on real, temporary databases made from the product schema, with
// helpers to fill them and to read back the problems found.

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/sqlite/product_schema.h"
#include "platform/text/unicode.h"
#include "report/integrity_report.h"

namespace netkeep::testing {

// One problem as `verify` lists it: the description and the recovery-action
// text (empty when the problem is uncorrectable).
using listed_problem = std::pair<std::wstring, std::wstring>;

class test_report {
 public:
  test_report() : folder_(make_folder()) {
    for (const product::database_file& file : product::database_files()) {
      sqlite::database& db = connection(file.file_name);
      db.open(text::from_path(folder_ / file.file_name));
      // Throw-away files need no syncing, which keeps the tests quick.
      db.exec("PRAGMA synchronous = OFF; BEGIN; " + product::schema_sql(text::to_utf8(file.file_name)) + "COMMIT;");
    }
  }
  ~test_report() {
    for (sqlite::database* db : {&report.network_db, &report.switching_db, &report.redundancy_db}) {
      if (db->is_open()) db->close();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  test_report(const test_report&) = delete;
  test_report& operator=(const test_report&) = delete;

  // Runs SQL text on Switching.db.
  void switching(const std::string& sql) { report.switching_db.exec(sql); }

  // The rows of a query on Switching.db, each row's columns as text joined
  // by "|" (NULL as "NULL").
  std::vector<std::string> query(const std::string& select) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(report.switching_db.handle(), select.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(report.switching_db.handle()));
    }
    std::vector<std::string> rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        if (i > 0) row += "|";
        const unsigned char* value = sqlite3_column_text(statement, i);
        row += value != nullptr ? reinterpret_cast<const char*>(value) : "NULL";
      }
      rows.push_back(row);
    }
    sqlite3_finalize(statement);
    return rows;
  }

  // Places a moniker in the registry tables as load_network_configuration
  // would.
  void place_device(const std::wstring& moniker, std::int64_t satellite_id, std::int64_t antenna_id = 1,
                    bool up_converter = true, std::int64_t converter_id = 1) {
    report.rf_devices.insert({moniker, {satellite_id, antenna_id, up_converter, converter_id}});
  }
  // A satellite with its name and allocation space.
  void add_satellite(std::int64_t satellite_id, const std::wstring& name, std::int64_t allocation_space) {
    report.satellite_names.insert({satellite_id, name});
    report.satellite_allocation_spaces.insert({satellite_id, allocation_space});
    report.allocation_space_satellites.insert({allocation_space, satellite_id});
  }

  std::vector<listed_problem> problems() const {
    std::vector<listed_problem> listed;
    report.for_each_problem([&](const std::wstring& description, const std::wstring& action) {
      listed.emplace_back(description, action);
      return false;
    });
    return listed;
  }

  // Applies the repair of every correctable problem, in order, as the
  // repair driver does.
  void repair() {
    for (const integrity_report::problem& p : report.problems) {
      if (!p.repair) continue;
      integrity_report::repair_context edit{true, false, nullptr};
      p.repair(edit);
    }
  }

  integrity_report report{text_sink{}};

 private:
  static std::filesystem::path make_folder() {
    static std::atomic<int> counter{0};
    for (;;) {
      std::filesystem::path candidate = std::filesystem::temp_directory_path() /
                                        ("netkeep-check-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(counter++));
      if (std::filesystem::create_directory(candidate)) return candidate;
    }
  }
  sqlite::database& connection(const std::wstring& file_name) {
    if (file_name == L"Network.db") return report.network_db;
    if (file_name == L"Switching.db") return report.switching_db;
    return report.redundancy_db;
  }

  std::filesystem::path folder_;
};

}  // namespace netkeep::testing
