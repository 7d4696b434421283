#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checks/configuration/check_test_support.h"

namespace netkeep {
namespace {

using testing::listed_problem;

class UnrecoveredResources : public testing::check_test {
 protected:
  void SetUp() override {
    add_satellite(1, L"East", 3);
    add_satellite(2, L"West", 7);
    switching("INSERT INTO managed_device_map (id, moniker) VALUES (9, 'M1'), (10, 'M2');");
  }
};

TEST_F(UnrecoveredResources, ResourcesOnTheDevicesAllocationSpaceAreSound) {
  report.check_unrecovered_resources();
  place_device(L"M1", 1);
  switching("INSERT INTO unrecovered_resources (managed_device, allocation_space) VALUES (9, 3);");
  report.check_unrecovered_resources();
  EXPECT_TRUE(problems().empty());
}

TEST_F(UnrecoveredResources, StaleRecordsAreCorrectableAndRepairDeletesExactlyThem) {
  place_device(L"M1", 1);
  switching(
      "INSERT INTO unrecovered_resources (managed_device, allocation_space) VALUES "
      "(17, 3), (9, 7), (9, 3), (10, 7), (9, 7);");
  report.check_unrecovered_resources();
  const std::wstring not_managed =
      L"A set of unrecovered resources was detected that are not associated with a managed device.";
  EXPECT_EQ(problems(),
            (std::vector<listed_problem>{
                {not_managed,
                 L"Delete the unrecovered resources on the allocation space with the id 3 associated with the managed "
                 L"device with the id 17"},
                {L"A set of unrecovered resources is on an allocation space 'West' that the managed device M1 is not "
                 L"currently associated with.",
                 L"Delete the unrecovered resources on the allocation space with the id 7 associated with the managed "
                 L"device with the id 9"},
                {L"A set of unrecovered resources is on an allocation space 'West' that the managed device M2 is not "
                 L"currently associated with.",
                 L"Delete the unrecovered resources on the allocation space with the id 7 associated with the managed "
                 L"device with the id 10"},
                {L"A set of unrecovered resources is on an allocation space 'West' that the managed device M1 is not "
                 L"currently associated with.",
                 L"Delete the unrecovered resources on the allocation space with the id 7 associated with the managed "
                 L"device with the id 9"}}));
  apply_repairs();
  EXPECT_EQ(switching_rows("SELECT managed_device, allocation_space FROM unrecovered_resources", 2),
            (std::vector<std::string>{"9|3"}));
}

TEST_F(UnrecoveredResources, AnUnreadableMapEndsTheRunWithItsError) {
  // The record's error text names the device by the same map, so the
  // error of an unreadable map is not reported per record: it ends the run.
  switching(
      "INSERT INTO unrecovered_resources (managed_device, allocation_space) VALUES (9, 7), (9, 8);"
      "ALTER TABLE managed_device_map RENAME TO old_map;");
  try {
    report.check_unrecovered_resources();
    FAIL() << "no exception";
  } catch (const sqlite::error& error) {
    EXPECT_STREQ(error.what(), "no such table: managed_device_map");
  }
  EXPECT_TRUE(problems().empty());
}

TEST_F(UnrecoveredResources, AMissingTableEndsTheRun) {
  switching("DROP TABLE unrecovered_resources;");
  EXPECT_THROW(report.check_unrecovered_resources(), sqlite::error);
}

}  // namespace
}  // namespace netkeep
