#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "checks/configuration/check_test_support.h"

namespace netkeep {
namespace {

using testing::listed_problem;

class Preallocations : public testing::check_test {
 protected:
  void SetUp() override {
    add_satellite(1, L"East", 3);
    add_satellite(2, L"West", 7);
    // The allocation space check has found spaces 3 and 7.
    report.allocation_space_ids = {3, 7};
    switching("INSERT INTO managed_device_map (id, moniker) VALUES (9, 'M1'), (10, 'M2');");
  }
};

TEST_F(Preallocations, APreallocationOnTheDevicesAllocationSpaceIsSound) {
  report.check_preallocations();
  place_device(L"M1", 2);
  place_device(L"M1", 1);
  switching("INSERT INTO preallocation (allocator, allocation_space) VALUES (9, 3);");
  report.check_preallocations();
  EXPECT_TRUE(problems().empty());
}

TEST_F(Preallocations, StalePreallocationsAreCorrectableOnePerRow) {
  place_device(L"M1", 1);
  switching(
      "INSERT INTO preallocation (allocator, allocation_space) VALUES (9, 40), (9, 7), (10, 3), (9, 3), (10, 40);");
  report.check_preallocations();
  const std::wstring gone = L"' which no longer exists.";
  const std::wstring elsewhere = L"' which it is no longer associated with.";
  EXPECT_EQ(problems(), (std::vector<listed_problem>{
                            {L"A preallocation for the allocator 'M1 exists on an allocation space '40" + gone,
                             L"Delete the pre-allocation for the allocator with the id 9"},
                            {L"A preallocation for the allocator 'M1 exists on an allocation space 'West" + elsewhere,
                             L"Delete the pre-allocation for the allocator with the id 9"},
                            {L"A preallocation for the allocator 'M2 exists on an allocation space 'East" + elsewhere,
                             L"Delete the pre-allocation for the allocator with the id 10"},
                            {L"A preallocation for the allocator 'M2 exists on an allocation space '40" + gone,
                             L"Delete the pre-allocation for the allocator with the id 10"}}));
  // The first repair of each allocator deletes all its rows, the second
  // finds nothing left.
  apply_repairs();
  EXPECT_TRUE(switching_rows("SELECT * FROM preallocation").empty());
}

TEST_F(Preallocations, AnAllocatorMissingFromTheMapEndsTheRun) {
  place_device(L"M1", 1);
  switching("INSERT INTO preallocation (allocator, allocation_space) VALUES (9, 7), (11, 3), (9, 40);");
  try {
    report.check_preallocations();
    FAIL() << "the check went on";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Allocator not found in managed device map.");
  }
  ASSERT_EQ(problems().size(), 1u);  // the row before it
}

}  // namespace
}  // namespace netkeep
