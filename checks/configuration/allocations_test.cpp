#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checks/configuration/check_test_support.h"

namespace netkeep {
namespace {

using testing::listed_problem;

class Allocations : public testing::check_test {
 protected:
  void SetUp() override {
    add_satellite(1, L"East", 3);
    add_satellite(2, L"West", 7);
    switching("INSERT INTO managed_device_map (id, moniker) VALUES (9, 'M1'), (10, 'M2');");
  }
};

TEST_F(Allocations, SoundAllocationsGiveNoProblem) {
  report.check_allocations();
  place_device(L"M1", 1);
  switching("INSERT INTO allocation (id, allocator, allocation_space) VALUES (5, 9, 3);");
  report.check_allocations();
  EXPECT_TRUE(problems().empty());
}

TEST_F(Allocations, SeveralAllocationsOfOneAllocatorOnOneSpaceAreListedTogether) {
  place_device(L"M1", 1);
  switching(
      "INSERT INTO allocation (id, allocator, allocation_space, past, future) VALUES (8, 9, 3, 5, 0);"
      "INSERT INTO allocation (id, allocator, allocation_space, past, future) VALUES (5, 9, 3, 0, 8);");
  report.check_allocations();
  EXPECT_EQ(problems(),
            (std::vector<listed_problem>{{L"Multiple allocations where detected for 'M1'. The allocations where:\n"
                                          L"\t5 on allocation space 3.\n"
                                          L"\t8 on allocation space 3.\n",
                                          L""}}));
}

TEST_F(Allocations, AnAllocationOffTheDevicesAllocationSpacesIsCorrectable) {
  place_device(L"M1", 1);
  switching("INSERT INTO allocation (id, allocator, allocation_space) VALUES (5, 9, 7);");
  report.check_allocations();
  EXPECT_EQ(problems(),
            (std::vector<listed_problem>{
                {L"An allocation with the id 5 located in the allocation space 'West' was found for 'M1'. This is not "
                 L"the allocation space the device is currently associated with.\n"
                 L"    The currently associated allocation space has the id of 3.",
                 L"Delete the allocation with the id 5"}}));
}

TEST_F(Allocations, TheSecondLineNamesTheDevicesCurrentAllocationSpaces) {
  // M2 is not in the registry at all; M1 is listed twice on satellite 1.
  place_device(L"M1", 1, 1, true, 1);
  place_device(L"M1", 1, 1, false, 2);
  switching("INSERT INTO allocation (id, allocator, allocation_space) VALUES (6, 10, 40), (5, 9, 40);");
  report.check_allocations();
  const auto listed = problems();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].first,
            L"An allocation with the id 5 located in the allocation space '40' was found for 'M1'. This is not the "
            L"allocation space the device is currently associated with.\n"
            L"    There currently multiple associated allocation spaces.");
  EXPECT_EQ(listed[1].first,
            L"An allocation with the id 6 located in the allocation space '40' was found for 'M2'. This is not the "
            L"allocation space the device is currently associated with.\n"
            L"    There is no allocated space currently associated with this device.");
  EXPECT_EQ(listed[1].second, L"Delete the allocation with the id 6");
}

TEST_F(Allocations, AnUnknownAllocatorIsReportedPerAllocationAndTheCheckGoesOn) {
  place_device(L"M1", 1);
  switching("INSERT INTO allocation (id, allocator, allocation_space) VALUES (12, 11, 3), (5, 11, 3), (7, 9, 7);");
  report.check_allocations();
  const std::wstring error_prefix =
      L"Encountered an error while attempting to verify the validity of the allocation with the id ";
  EXPECT_EQ(problems(),
            (std::vector<listed_problem>{
                {L"An allocation with the id 7 located in the allocation space 'West' was found for 'M1'. This is not "
                 L"the allocation space the device is currently associated with.\n"
                 L"    The currently associated allocation space has the id of 3.",
                 L"Delete the allocation with the id 7"},
                {L"Multiple allocations where detected for '<unknown(11)>'. The allocations where:\n"
                 L"\t5 on allocation space 3.\n\t12 on allocation space 3.\n",
                 L""},
                {error_prefix + L"5 made by the allocator with the id 11 on the allocation space with the id 3. The "
                                L"description of the error is \"Allocator not found in managed device map.\".",
                 L""},
                {error_prefix + L"12 made by the allocator with the id 11 on the allocation space with the id 3. The "
                                L"description of the error is \"Allocator not found in managed device map.\".",
                 L""}}));
}

TEST_F(Allocations, RunsComeInAllocatorAndSpaceOrder) {
  switching(
      "INSERT INTO allocation (id, allocator, allocation_space) VALUES "
      "(1, 10, 7), (2, 9, 7), (3, 9, -1), (4, 10, 3), (5, 9, 7), (6, 9, -1);");
  report.check_allocations();
  std::vector<std::wstring> first_lines;
  for (const listed_problem& p : problems()) first_lines.push_back(p.first.substr(0, p.first.find(L'\n')));
  const std::wstring mismatch = L"' was found for '";
  EXPECT_EQ(first_lines, (std::vector<std::wstring>{
                             L"Multiple allocations where detected for 'M1'. The allocations where:",
                             L"An allocation with the id 3 located in the allocation space '-1" + mismatch +
                                 L"M1'. This is not the allocation space the device is currently associated with.",
                             L"An allocation with the id 6 located in the allocation space '-1" + mismatch +
                                 L"M1'. This is not the allocation space the device is currently associated with.",
                             L"Multiple allocations where detected for 'M1'. The allocations where:",
                             L"An allocation with the id 2 located in the allocation space 'West" + mismatch +
                                 L"M1'. This is not the allocation space the device is currently associated with.",
                             L"An allocation with the id 5 located in the allocation space 'West" + mismatch +
                                 L"M1'. This is not the allocation space the device is currently associated with.",
                             L"An allocation with the id 4 located in the allocation space 'East" + mismatch +
                                 L"M2'. This is not the allocation space the device is currently associated with.",
                             L"An allocation with the id 1 located in the allocation space 'West" + mismatch +
                                 L"M2'. This is not the allocation space the device is currently associated with."}));
}

TEST_F(Allocations, ALowLevelErrorEndsTheCheckWithOneProblem) {
  switching("DROP TABLE allocation;");
  report.check_allocations();
  EXPECT_EQ(problems(),
            (std::vector<listed_problem>{{L"A low level error occurred while attempting the scan switching engine "
                                          L"allocations. The error reported was: no such table: allocation",
                                          L""}}));
}

}  // namespace
}  // namespace netkeep
