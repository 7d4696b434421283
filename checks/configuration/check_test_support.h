#pragma once
// Test support for the configuration and reservation checks: the database
// checks' report fixture, with helpers to fill Switching.db and the
// satellite tables and to read the problems back as `verify` lists them.

#include <string>
#include <utility>
#include <vector>

#include "checks/database/report_test_support.h"

namespace netkeep::testing {

// One problem as `verify` lists it: the description and the recovery-action
// text (empty when the problem is uncorrectable).
using listed_problem = std::pair<std::wstring, std::wstring>;

class check_test : public report_test {
 protected:
  void switching(const std::string& sql) { report.switching_db.exec(sql); }
  std::vector<std::string> switching_rows(const std::string& select, int columns = 1) {
    return rows(report.switching_db, select, columns);
  }

  // A satellite with its name and its allocation space.
  void add_satellite(std::int64_t satellite, const std::wstring& name, std::int64_t allocation_space) {
    report.satellite_names.emplace(satellite, name);
    attach_allocation_space(satellite, allocation_space);
  }

  std::vector<listed_problem> problems() const {
    std::vector<listed_problem> listed;
    report.for_each_problem([&](const std::wstring& description, const std::wstring& action) {
      listed.emplace_back(description, action);
      return false;
    });
    return listed;
  }
};

}  // namespace netkeep::testing
