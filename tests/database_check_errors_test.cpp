// A database check that meets a missing table ends the verification run: the
// error line carries SQLite's message, nothing is listed, the exit status is
// 1, and repair changes nothing. (The allocation space check is the
// exception; see allocation_space_check_test.cpp.)

#include <gtest/gtest.h>

#include "tests/support/network_fixture.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

struct missing_table {
  const char* database;
  const char* table;
};

class DatabaseCheckErrors : public ::testing::TestWithParam<missing_table> {};

TEST_P(DatabaseCheckErrors, MissingTableEndsTheRun) {
  test_installation installation;
  install_network(installation);
  // A correctable problem found before the failing check must not be listed
  // or repaired. The orphan and the allocatable row make the later checks
  // read the tables that they read only for a failing entry.
  installation.sql("DeviceRedundancy.db", "UPDATE [slot.device_binding] SET logical_link = 'MOD-2' WHERE slot = 2");
  installation.sql("Switching.db",
                   "INSERT INTO managed_device_map VALUES (9, 'GONE');"
                   "INSERT INTO allocatable_device VALUES (100, 'modulator', 'GONE-MOD', 1, 0)");
  installation.sql(GetParam().database, std::string("DROP TABLE [") + GetParam().table + "]");
  const std::string error = std::string("An error occurred: no such table: ") + GetParam().table + "\n";
  for (const char* command : {"verify", "repair"}) {
    run_result r = installation.run({command});
    EXPECT_EQ(r.out, "") << command;
    EXPECT_TRUE(r.err.ends_with(error)) << command << ": " << r.err;
    EXPECT_EQ(r.err.find("Errors Detected"), std::string::npos) << command << ": " << r.err;
    EXPECT_EQ(r.status, 1) << command;
  }
  if (std::string(GetParam().table) != "slot.device_binding") {
    EXPECT_EQ(installation.query("DeviceRedundancy.db", "SELECT logical_link FROM [slot.device_binding] WHERE slot = 2"),
              std::vector<std::string>{"MOD-2"});
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCheck, DatabaseCheckErrors,
                         ::testing::Values(missing_table{"Network.db", "site_data"},
                                           missing_table{"Switching.db", "inband_state"},
                                           missing_table{"Switching.db", "inband_channel"},
                                           missing_table{"DeviceRedundancy.db", "slot.device_binding"},
                                           missing_table{"Switching.db", "managed_device_map"},
                                           missing_table{"Switching.db", "unrecovered_slot"},
                                           missing_table{"Switching.db", "allocatable_device"},
                                           missing_table{"Switching.db", "device_allocation"}),
                         [](const ::testing::TestParamInfo<missing_table>& info) {
                           std::string name = info.param.table;
                           for (char& c : name) {
                             if (c == '.') c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace netkeep::testing
