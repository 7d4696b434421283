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

TEST_F(UnrecoveredResources, AnErrorWhileCheckingARecordIsReportedForThatRecord) {
  // The moniker of M1 is known from an earlier lookup, so the error text
  // can still name the device when the map cannot be read. The map itself
  // is read again, as by a new run.
  ASSERT_TRUE(report.managed_device_moniker(9, true).found);
  report.switching_answers.clear();
  switching(
      "INSERT INTO unrecovered_resources (managed_device, allocation_space) VALUES (9, 7), (9, 8);"
      "ALTER TABLE managed_device_map RENAME TO old_map;");
  report.check_unrecovered_resources();
  const std::wstring error =
      L"An error was detected in relation to an set of unrecovered resource for allocator M1 on allocation space ";
  EXPECT_EQ(problems(),
            (std::vector<listed_problem>{{error + L"7 the erorr was: no such table: managed_device_map", L""},
                                         {error + L"8 the erorr was: no such table: managed_device_map", L""}}));
}

TEST_F(UnrecoveredResources, AMissingTableEndsTheRun) {
  switching("DROP TABLE unrecovered_resources;");
  EXPECT_THROW(report.check_unrecovered_resources(), sqlite::error);
}

}  // namespace
}  // namespace netkeep
