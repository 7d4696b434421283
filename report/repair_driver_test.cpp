#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/installation/installation.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"
#include "tests/support/test_installation.h"

namespace netkeep {
namespace {

using testing::test_installation;
using rows = std::vector<std::string>;

// A report over the databases of a throw-away installation, which stands in
// for the located one.
class RepairDriver : public ::testing::Test {
 protected:
  RepairDriver() {
    installation.create_databases();
    installation.sql("Switching.db",
                     "INSERT INTO managed_device_map VALUES (5, 'MOD-5'), (6, 'MOD-6'), (7, 'MOD-7');"
                     "INSERT INTO preallocation VALUES (5, 100, 10), (6, 100, 20);");
    installation::data_directory = installation.data_directory().wstring();
  }
  ~RepairDriver() override { installation::data_directory.clear(); }

  rows switching(const std::string& select) const { return installation.query("Switching.db", select); }

  test_installation installation;
  integrity_report report{text_sink{}};
};

TEST_F(RepairDriver, AppliesEveryCorrectableProblemInOrderAndClosesTheDatabases) {
  report.add_problem(L"first", delete_managed_device_entry(5, &report));
  report.add_problem(L"not correctable");
  report.add_problem(L"second", delete_preallocation(6, &report));

  std::vector<std::wstring> applied;
  report.repair_all([&](const std::wstring& description) {
    // Each description arrives after its own edit and before the next one.
    applied.push_back(description + L" / " + std::to_wstring(switching("SELECT * FROM preallocation").size()));
  });
  EXPECT_EQ(applied, (std::vector<std::wstring>{L"Delete the managed device entry with the id 5 / 2",
                                                L"Delete the pre-allocation for the allocator with the id 6 / 1"}));
  EXPECT_EQ(switching("SELECT id FROM managed_device_map"), (rows{"6", "7"}));
  EXPECT_EQ(switching("SELECT allocator FROM preallocation"), (rows{"5"}));
  EXPECT_FALSE(report.network_db.is_open());
  EXPECT_FALSE(report.switching_db.is_open());
  EXPECT_FALSE(report.redundancy_db.is_open());
  EXPECT_EQ(report.problem_count(), 3);
}

TEST_F(RepairDriver, StopsAtTheFirstFailingRepair) {
  installation.sql("Switching.db", "DROP TABLE unrecovered_resources;");
  report.add_problem(L"first", delete_managed_device_entry(5, &report));
  report.add_problem(L"second", delete_unrecovered_resources(100, 6, &report));
  report.add_problem(L"third", delete_managed_device_entry(7, &report));
  EXPECT_THROW(report.repair_all(text_sink{}), sqlite::error);
  EXPECT_EQ(switching("SELECT id FROM managed_device_map"), (rows{"6", "7"}));
}

TEST_F(RepairDriver, AMissingDatabaseFileFailsBeforeAnythingIsApplied) {
  report.add_problem(L"first", delete_managed_device_entry(5, &report));
  std::filesystem::remove(installation.database("DeviceRedundancy.db"));
  try {
    report.repair_all(text_sink{});
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Database file not found: " + installation.database("DeviceRedundancy.db").string());
  }
  EXPECT_EQ(switching("SELECT id FROM managed_device_map"), (rows{"5", "6", "7"}));
  EXPECT_FALSE(std::filesystem::exists(installation.database("DeviceRedundancy.db")));
  EXPECT_FALSE(report.network_db.is_open());
}

}  // namespace
}  // namespace netkeep
