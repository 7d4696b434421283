#pragma once
// Test support for the database checks: an integrity report whose three
// connections are open on new databases with the product schema, in a
// temporary folder that is removed afterwards, and helpers that fill the
// registry tables by hand and read back the problems.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sqlite/product_schema.h"
#include "platform/text/unicode.h"
#include "report/integrity_report.h"

namespace netkeep::testing {

class temporary_folder {
 public:
  temporary_folder() {
    static std::atomic<int> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    do {
      path_ = base / ("netkeep-unit-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    } while (!std::filesystem::create_directory(path_));
  }
  ~temporary_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  temporary_folder(const temporary_folder&) = delete;
  temporary_folder& operator=(const temporary_folder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class report_test : public ::testing::Test {
 protected:
  report_test() {
    open(report.network_db, "Network.db");
    open(report.switching_db, "Switching.db");
    open(report.redundancy_db, "DeviceRedundancy.db");
  }

  // Places a device moniker in the registry tables, as loading the network
  // configuration would.
  void place_device(const std::wstring& moniker, std::int64_t satellite, std::int64_t antenna = 1,
                    bool up_converter = true, std::int64_t converter = 1) {
    report.rf_devices.emplace(moniker, integrity_report::rf_device_path{satellite, antenna, up_converter, converter});
  }

  // Attaches an allocation space to a satellite, in both directions.
  void attach_allocation_space(std::int64_t satellite, std::int64_t allocation_space) {
    report.satellite_allocation_spaces.emplace(satellite, allocation_space);
    report.allocation_space_satellites.emplace(allocation_space, satellite);
  }

  std::vector<std::wstring> descriptions() const {
    std::vector<std::wstring> result;
    for (const auto& p : report.problems) result.push_back(p.description);
    return result;
  }

  // Each problem's recovery-action text, empty for an uncorrectable one.
  std::vector<std::wstring> recovery_actions() const {
    std::vector<std::wstring> result;
    report.for_each_problem([&](const std::wstring&, const std::wstring& action) {
      result.push_back(action);
      return false;
    });
    return result;
  }

  // Applies every repair in list order, as the repair driver does.
  void apply_repairs() {
    for (const auto& p : report.problems) {
      if (!p.repair) continue;
      integrity_report::repair_context edit{true, false, nullptr};
      p.repair(edit);
    }
  }

  // The rows of a query, each row's columns as text joined by "|".
  static std::vector<std::string> rows(const sqlite::database& db, const std::string& select, int columns = 1) {
    std::vector<std::string> result;
    sqlite::statement query(db, select);
    while (query.step()) {
      std::string row;
      for (int i = 0; i < columns; ++i) {
        if (i > 0) row += "|";
        row += text::to_utf8(query.column_text(i));
      }
      result.push_back(row);
    }
    return result;
  }

  temporary_folder folder;
  integrity_report report{text_sink{}};

 private:
  void open(sqlite::database& db, const std::string& file) {
    db.open(text::from_path(folder.path() / file));
    db.exec("BEGIN;" + product::schema_sql(file) + "COMMIT;");
  }
};

}  // namespace netkeep::testing
