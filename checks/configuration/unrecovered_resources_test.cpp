#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checks/configuration/test_report.h"

namespace netkeep {
namespace {

using testing::listed_problem;
using testing::test_report;

class UnrecoveredResources : public ::testing::Test {
 protected:
  void SetUp() override {
    r.add_satellite(1, L"East", 3);
    r.add_satellite(2, L"West", 7);
    r.switching("INSERT INTO managed_device_map (id, moniker) VALUES (9, 'M1'), (10, 'M2');");
  }
  test_report r;
};

TEST_F(UnrecoveredResources, ResourcesOnTheDevicesAllocationSpaceAreSound) {
  r.report.check_unrecovered_resources();
  r.place_device(L"M1", 1);
  r.switching("INSERT INTO unrecovered_resources (managed_device, allocation_space) VALUES (9, 3);");
  r.report.check_unrecovered_resources();
  EXPECT_TRUE(r.problems().empty());
}

TEST_F(UnrecoveredResources, StaleRecordsAreCorrectableAndRepairDeletesExactlyThem) {
  r.place_device(L"M1", 1);
  r.switching(
      "INSERT INTO unrecovered_resources (managed_device, allocation_space) VALUES "
      "(17, 3), (9, 7), (9, 3), (10, 7), (9, 7);");
  r.report.check_unrecovered_resources();
  const std::wstring not_managed =
      L"A set of unrecovered resources was detected that are not associated with a managed device.";
  EXPECT_EQ(r.problems(),
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
  r.repair();
  EXPECT_EQ(r.query("SELECT managed_device, allocation_space FROM unrecovered_resources"),
            (std::vector<std::string>{"9|3"}));
}

TEST_F(UnrecoveredResources, AnErrorWhileCheckingARecordIsReportedForThatRecord) {
  // The moniker of M1 is known from an earlier lookup, so the error text
  // can still name the device when the map cannot be read.
  ASSERT_TRUE(r.report.managed_device_moniker(9, true).found);
  r.switching(
      "INSERT INTO unrecovered_resources (managed_device, allocation_space) VALUES (9, 7), (9, 8);"
      "ALTER TABLE managed_device_map RENAME TO old_map;");
  r.report.check_unrecovered_resources();
  const std::wstring error =
      L"An error was detected in relation to an set of unrecovered resource for allocator M1 on allocation space ";
  EXPECT_EQ(r.problems(),
            (std::vector<listed_problem>{
                {error + L"7 the erorr was: no such table: managed_device_map", L""},
                {error + L"8 the erorr was: no such table: managed_device_map", L""}}));
}

TEST_F(UnrecoveredResources, AMissingTableEndsTheRun) {
  r.switching("DROP TABLE unrecovered_resources;");
  EXPECT_THROW(r.report.check_unrecovered_resources(), sqlite::error);
}

}  // namespace
}  // namespace netkeep
