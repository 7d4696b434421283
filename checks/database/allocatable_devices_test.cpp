#include <gtest/gtest.h>

#include "checks/database/report_test_support.h"

namespace netkeep::testing {
namespace {

class AllocatableDevices : public report_test {
 protected:
  AllocatableDevices() {
    // MOD-A on satellite 1 (allocation space 100); satellite 2 has no
    // allocation space. No satellite has a name, so allocation spaces are
    // labelled by their ids.
    attach_allocation_space(1, 100);
    place_device(L"MOD-A", 1);
    place_device(L"MOD-B", 2);
  }

  void row(std::int64_t space, const std::string& moniker, int port = 1) {
    report.switching_db.exec("INSERT INTO allocatable_device VALUES (" + std::to_string(space) + ", 'modulator', '" +
                             moniker + "', " + std::to_string(port) + ", 0)");
  }
};

TEST_F(AllocatableDevices, EmptyTableOrValidRowsYieldNothing) {
  report.check_allocatable_devices();
  row(100, "MOD-A");
  row(-1, "MOD-B");  // a satellite without allocation space matches -1
  report.check_allocatable_devices();
  EXPECT_TRUE(report.problems.empty());
}

TEST_F(AllocatableDevices, DeviceMissingFromTheRegistryIsDeletedByRowid) {
  row(100, "Gone", 1);
  row(100, "Gone", 2);
  report.switching_db.exec("DELETE FROM allocatable_device WHERE port = 2");
  row(100, "Gone", 3);
  report.check_allocatable_devices();
  EXPECT_EQ(descriptions(), (std::vector<std::wstring>{
                                L"The allocatable device 'Gone' is no longer associated with an allocation space.",
                                L"The allocatable device 'Gone' is no longer associated with an allocation space.",
                            }));
  EXPECT_EQ(recovery_actions(), (std::vector<std::wstring>{
                                    L"Delete the allocatable device 'Gone' from the satellite '100'.",
                                    L"Delete the allocatable device 'Gone' from the satellite '100'.",
                                }));
  integrity_report::repair_context edit{true, false, nullptr};
  report.problems.back().repair(edit);
  EXPECT_EQ(rows(report.switching_db, "SELECT port FROM allocatable_device"), std::vector<std::string>{"1"});
}

TEST_F(AllocatableDevices, DeviceOnAnotherAllocationSpace) {
  row(200, "MOD-A");
  row(5, "MOD-B");
  report.check_allocatable_devices();
  EXPECT_EQ(descriptions(), (std::vector<std::wstring>{
                                L"The allocatable device 'MOD-A' is no longer associated with the satellite '200'.",
                                L"The allocatable device 'MOD-B' is no longer associated with the satellite '5'.",
                            }));
  EXPECT_EQ(report.correctable_count(), 2);
}

TEST_F(AllocatableDevices, OnlyTheFirstRegistryPlacesCount) {
  place_device(L"MOD-A", 3);  // a second place, on allocation space 300
  attach_allocation_space(3, 300);
  attach_allocation_space(1, 101);  // a second allocation space of satellite 1
  row(300, "MOD-A");
  row(101, "MOD-A");
  row(100, "MOD-A");
  report.check_allocatable_devices();
  EXPECT_EQ(descriptions(), (std::vector<std::wstring>{
                                L"The allocatable device 'MOD-A' is no longer associated with the satellite '300'.",
                                L"The allocatable device 'MOD-A' is no longer associated with the satellite '101'.",
                            }));
}

TEST_F(AllocatableDevices, EveryRepeatOfAValidRowIsADuplicate) {
  row(100, "MOD-A", 1);
  row(200, "MOD-A", 1);  // fails, so it makes no later row a duplicate
  row(100, "MOD-A", 2);  // other columns do not tell entries apart
  row(100, "MOD-A", 3);
  report.check_allocatable_devices();
  EXPECT_EQ(descriptions(), (std::vector<std::wstring>{
                                L"The allocatable device 'MOD-A' is no longer associated with the satellite '200'.",
                                L"The allocatable device 'MOD-A' on satellite '100' has a duplicate entry.",
                                L"The allocatable device 'MOD-A' on satellite '100' has a duplicate entry.",
                            }));
  apply_repairs();
  EXPECT_EQ(rows(report.switching_db, "SELECT allocation_space, port FROM allocatable_device", 2),
            std::vector<std::string>{"100|1"});
}

TEST_F(AllocatableDevices, DeviceStillInUseIsUncorrectable) {
  row(100, "Gone");
  row(200, "MOD-A");
  row(100, "Free");
  report.switching_db.exec("INSERT INTO device_allocation VALUES (1, 'Gone')");
  report.switching_db.exec("INSERT INTO unrecovered_device VALUES ('MOD-A', 4)");
  report.check_allocatable_devices();
  ASSERT_EQ(report.problem_count(), 3);
  EXPECT_EQ(recovery_actions(), (std::vector<std::wstring>{
                                    L"", L"", L"Delete the allocatable device 'Free' from the satellite '100'."}));
}

TEST_F(AllocatableDevices, MissingTableEndsTheRun) {
  row(100, "Gone");
  report.switching_db.exec("DROP TABLE unrecovered_device");
  EXPECT_THROW(report.check_allocatable_devices(), sqlite::error);
}

}  // namespace
}  // namespace netkeep::testing
