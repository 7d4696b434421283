#include <gtest/gtest.h>

#include "checks/database/report_test_support.h"

namespace netkeep::testing {
namespace {

using ManagedDeviceMap = report_test;

TEST_F(ManagedDeviceMap, EmptyMapYieldsNothing) {
  report.check_managed_device_map();
  EXPECT_TRUE(report.problems.empty());
}

TEST_F(ManagedDeviceMap, KnownDuplicateIsOneUncorrectableProblem) {
  report.switching_db.exec("INSERT INTO managed_device_map VALUES (5, 'M1'), (9, 'M1')");
  place_device(L"M1", 1);
  report.check_managed_device_map();
  EXPECT_EQ(descriptions(), std::vector<std::wstring>{L"Multiple device id entries for 'M1'."});
  EXPECT_EQ(report.correctable_count(), 0);
}

TEST_F(ManagedDeviceMap, DuplicatesComeFirstThenOrphansInMonikerOrder) {
  report.switching_db.exec(
      "INSERT INTO managed_device_map VALUES (5, 'M1'), (9, 'M1'), (2, 'Known'), (3, 'Abc'), (4, 'Known')");
  place_device(L"Known", 1);
  report.check_managed_device_map();
  EXPECT_EQ(descriptions(),
            (std::vector<std::wstring>{
                L"Multiple device id entries for 'Known'.",
                L"Multiple device id entries for 'M1'.",
                L"Device 'Abc' (id: 3) in managed device map when not associated with a satellite.",
                L"Device 'M1' (id: 5) in managed device map when not associated with a satellite.",
                L"Device 'M1' (id: 9) in managed device map when not associated with a satellite.",
            }));
}

TEST_F(ManagedDeviceMap, MonikersAreExactAndOrderedByUtf16CodeUnits) {
  // U+FF01 sorts after the surrogate pair of U+1F600 in UTF-16, though not
  // by code point; letter case makes different monikers.
  report.switching_db.exec(
      "INSERT INTO managed_device_map VALUES (1, char(65281)), (2, char(128512)), (3, 'm1'), (4, 'M1'), (5, NULL)");
  place_device(L"M1", 1);
  report.check_managed_device_map();
  EXPECT_EQ(descriptions(),
            (std::vector<std::wstring>{
                L"Device '' (id: 5) in managed device map when not associated with a satellite.",
                L"Device 'm1' (id: 3) in managed device map when not associated with a satellite.",
                L"Device '\U0001F600' (id: 2) in managed device map when not associated with a satellite.",
                L"Device '\uFF01' (id: 1) in managed device map when not associated with a satellite.",
            }));
}

TEST_F(ManagedDeviceMap, UnreferencedOrphanIsDeletedByItsRepair) {
  report.switching_db.exec("INSERT INTO managed_device_map VALUES (7, 'Gone'), (8, 'Kept')");
  place_device(L"Kept", 1);
  report.check_managed_device_map();
  ASSERT_EQ(report.problem_count(), 1);
  EXPECT_EQ(report.correctable_count(), 1);
  EXPECT_EQ(recovery_actions(), std::vector<std::wstring>{L"Delete the managed device entry with the id 7"});
  apply_repairs();
  EXPECT_EQ(rows(report.switching_db, "SELECT id FROM managed_device_map"), std::vector<std::string>{"8"});
}

TEST_F(ManagedDeviceMap, OrphanStillReferencedByAnyTableIsUncorrectable) {
  const std::vector<std::string> references = {
      "INSERT INTO managed_device_modcod_map (device_id) VALUES (7)",
      "INSERT INTO bandwidth_reservation (managed_device) VALUES (7)",
      "INSERT INTO allocation (allocator) VALUES (7)",
      "INSERT INTO preallocation (allocator) VALUES (7)",
      "INSERT INTO device_preallocation (allocator) VALUES (7)",
      "INSERT INTO unrecovered_resources (managed_device) VALUES (7)",
      "INSERT INTO unrecovered_slot (managed_device) VALUES (7)",
      "INSERT INTO unrecovered_device (managed_device) VALUES (7)",
      "INSERT INTO reservation_status (managed_device) VALUES (7)",
      "INSERT INTO scheduled_channel_reservation (allocator_id) VALUES (7)",
      "INSERT INTO scheduled_channel_device_reservation (device_id) VALUES (7)",
  };
  for (const std::string& reference : references) {
    temporary_folder scratch;
    integrity_report fresh{text_sink{}};
    fresh.switching_db.open(text::from_path(scratch.path() / "Switching.db"));
    fresh.switching_db.exec("BEGIN;" + product::schema_sql("Switching.db") + "COMMIT;");
    fresh.switching_db.exec("INSERT INTO managed_device_map VALUES (7, 'Gone')");
    fresh.switching_db.exec(reference);
    fresh.check_managed_device_map();
    EXPECT_EQ(fresh.problem_count(), 1) << reference;
    EXPECT_EQ(fresh.correctable_count(), 0) << reference;
  }
}

TEST_F(ManagedDeviceMap, MissingTableEndsTheRun) {
  report.switching_db.exec("DROP TABLE managed_device_map");
  EXPECT_THROW(report.check_managed_device_map(), sqlite::error);
}

TEST_F(ManagedDeviceMap, MissingReferenceTableEndsTheRunAfterTheDuplicates) {
  report.switching_db.exec("INSERT INTO managed_device_map VALUES (1, 'A'), (2, 'A')");
  report.switching_db.exec("DROP TABLE reservation_status");
  EXPECT_THROW(report.check_managed_device_map(), sqlite::error);
  EXPECT_EQ(descriptions(), std::vector<std::wstring>{L"Multiple device id entries for 'A'."});
}

}  // namespace
}  // namespace netkeep::testing
