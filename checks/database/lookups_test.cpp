#include <sqlite3.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "platform/sqlite/product_schema.h"
#include "report/integrity_report.h"

namespace netkeep {
namespace {

class Lookups : public ::testing::Test {
 protected:
  Lookups() {
    report.switching_db.open(L":memory:");
    report.switching_db.exec(product::schema_sql("Switching.db"));
    report.switching_db.exec("INSERT INTO managed_device_map VALUES (5, 'MOD-5'), (6, 'DEMOD-6');");
    sqlite3_trace_v2(report.switching_db.handle(), SQLITE_TRACE_STMT, count_statement, &statements);
  }

  static int count_statement(unsigned, void* context, void*, void*) {
    ++*static_cast<int*>(context);
    return 0;
  }

  // Places `moniker` below a converter of `antenna` on `satellite`.
  void place(const std::wstring& moniker, std::int64_t satellite, std::int64_t antenna) {
    report.rf_devices.emplace(moniker, integrity_report::rf_device_path{satellite, antenna, true, 1});
  }

  void give_allocation_space(std::int64_t satellite, std::int64_t space) {
    report.satellite_allocation_spaces.emplace(satellite, space);
    report.allocation_space_satellites.emplace(space, satellite);
  }

  integrity_report report{text_sink{}};
  int statements = 0;
};

TEST_F(Lookups, AFoundMonikerIsQueriedOnceAndCached) {
  auto first = report.managed_device_moniker(5, true);
  auto second = report.managed_device_moniker(5, false);
  EXPECT_EQ(statements, 1);
  EXPECT_TRUE(first.found);
  EXPECT_TRUE(second.found);
  EXPECT_EQ(first.moniker, L"MOD-5");
  EXPECT_EQ(second.moniker, L"MOD-5");

  // The answers read stand for the run, even after the row has changed.
  report.switching_db.exec("UPDATE managed_device_map SET moniker = 'changed' WHERE id = 5;");
  EXPECT_EQ(report.managed_device_moniker(5, true).moniker, L"MOD-5");
}

TEST_F(Lookups, AMissingMonikerIsNotCachedButTheMapIsReadOnce) {
  auto first = report.managed_device_moniker(-9, false);
  auto second = report.managed_device_moniker(-9, false);
  report.managed_device_moniker(6, false);
  EXPECT_EQ(statements, 1);
  EXPECT_FALSE(first.found);
  EXPECT_EQ(first.moniker, L"<unknown(-9)>");
  EXPECT_EQ(second.moniker, L"<unknown(-9)>");

  // Once the row exists and the map is read again (a new run), it is found.
  report.switching_db.exec("INSERT INTO managed_device_map VALUES (-9, 'late');");
  report.switching_answers.clear();
  EXPECT_EQ(report.managed_device_moniker(-9, false).moniker, L"late");
}

TEST_F(Lookups, ARequiredMissingMonikerIsARuntimeError) {
  try {
    report.managed_device_moniker(77, true);
    FAIL() << "no exception";
  } catch (const sqlite::error&) {
    FAIL() << "not a database error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Allocator not found in managed device map.");
  }
  EXPECT_THROW(report.device_allocation_spaces(77), std::runtime_error);
}

TEST_F(Lookups, ADatabaseFailureIsAnSqliteError) {
  report.switching_db.exec("DROP TABLE managed_device_map;");
  EXPECT_THROW(report.managed_device_moniker(5, false), sqlite::error);
}

TEST_F(Lookups, DeviceAllocationSpacesFollowTheRegistryEntriesInOrder) {
  give_allocation_space(1, 100);
  give_allocation_space(1, 101);  // a second space of satellite 1 is never used
  give_allocation_space(2, 200);
  place(L"MOD-5", 2, 10);
  place(L"MOD-5", 3, 10);  // satellite 3 has no allocation space
  place(L"MOD-5", 1, 11);
  place(L"MOD-5", 1, 11);
  EXPECT_EQ(report.device_allocation_spaces(5), (std::vector<std::int64_t>{200, 100, 100}));
  EXPECT_TRUE(report.device_allocation_spaces(6).empty());

  EXPECT_TRUE(report.device_on_allocation_space(L"MOD-5", 100));
  EXPECT_TRUE(report.device_on_allocation_space(L"MOD-5", 200));
  EXPECT_FALSE(report.device_on_allocation_space(L"MOD-5", 101));
  EXPECT_FALSE(report.device_on_allocation_space(L"mod-5", 100));
  EXPECT_FALSE(report.device_on_allocation_space(L"DEMOD-6", 100));
}

TEST_F(Lookups, DeviceAntennaIsTheOneAntennaOfAllEntries) {
  place(L"A", 1, 10);
  place(L"A", 2, 10);
  place(L"B", 1, 10);
  place(L"B", 1, 11);
  place(L"C", 1, -4);
  EXPECT_EQ(integrity_report::device_antenna(report.rf_device_entries(L"A")), 10);
  EXPECT_EQ(integrity_report::device_antenna(report.rf_device_entries(L"B")), -1);
  EXPECT_EQ(integrity_report::device_antenna(report.rf_device_entries(L"C")), -4);
  EXPECT_EQ(integrity_report::device_antenna(report.rf_device_entries(L"unknown")), -1);
}

TEST_F(Lookups, AllocationSpaceLabelNamesTheFirstSatellite) {
  give_allocation_space(1, 100);
  give_allocation_space(2, 100);
  report.satellite_names[2] = L"Second";
  // The first satellite of space 100 has no name: the space's id is shown.
  EXPECT_EQ(report.allocation_space_label(100), L"100");
  report.satellite_names[1] = L"First";
  EXPECT_EQ(report.allocation_space_label(100), L"First");
  EXPECT_EQ(report.allocation_space_label(-7), L"-7");
}

}  // namespace
}  // namespace netkeep
