#include <gtest/gtest.h>

#include "checks/database/report_test_support.h"

namespace netkeep::testing {
namespace {

using AllocationSpaces = report_test;

TEST_F(AllocationSpaces, SpacesWithoutOrWithSeveralSatellites) {
  // Duplicate ids are possible in a table without a key.
  report.switching_db.exec("DROP TABLE allocation_space; CREATE TABLE allocation_space (id INTEGER)");
  report.switching_db.exec("INSERT INTO allocation_space VALUES (100), (200), (300), (200)");
  attach_allocation_space(1, 100);
  attach_allocation_space(7, 300);
  attach_allocation_space(3, 300);
  report.check_allocation_spaces();
  EXPECT_EQ(descriptions(), (std::vector<std::wstring>{
                                L"The allocation space with the id 200 is not associated with a satellite.",
                                L"The allocation space with the id 300 is associated with the satellites with the "
                                L"ids 7, 3",
                                L"The allocation space with the id 200 is not associated with a satellite.",
                            }));
  EXPECT_EQ(report.correctable_count(), 0);
  EXPECT_EQ(report.allocation_space_ids, (std::set<std::int64_t>{100, 200, 300}));
}

TEST_F(AllocationSpaces, MissingTableBecomesOneProblem) {
  report.switching_db.exec("DROP TABLE allocation_space");
  EXPECT_NO_THROW(report.check_allocation_spaces());
  EXPECT_EQ(descriptions(),
            std::vector<std::wstring>{L"A low level error occurred while attempting the scan switching engine "
                                      L"allocationspaces. The description of the error is \"no such table: "
                                      L"allocation_space\"."});
}

TEST_F(AllocationSpaces, ErrorWhileCheckingARowBecomesAProblemAndTheCheckGoesOn) {
  report.switching_db.exec("INSERT INTO allocation_space (id) VALUES (5), (6)");
  int calls = 0;
  report.observer = [&](const std::wstring&) {
    if (++calls == 1) throw std::runtime_error("observer failed");
  };
  report.check_allocation_spaces();
  EXPECT_EQ(descriptions(),
            (std::vector<std::wstring>{
                L"Encountered an error while attempting to verify the validity of the allocation space with the id "
                L"5. The description of the error is \"observer failed\".",
                L"The allocation space with the id 6 is not associated with a satellite.",
            }));
  EXPECT_EQ(report.allocation_space_ids, (std::set<std::int64_t>{5, 6}));
}

TEST_F(AllocationSpaces, ErrorWhileReportingARowErrorEndsTheCheck) {
  report.switching_db.exec("INSERT INTO allocation_space (id) VALUES (5), (6)");
  int calls = 0;
  report.observer = [&](const std::wstring&) {
    if (++calls <= 2) throw std::runtime_error("observer failed");
  };
  report.check_allocation_spaces();
  EXPECT_EQ(descriptions(), std::vector<std::wstring>{L"A low level error occurred while attempting the scan "
                                                      L"switching engine allocationspaces. The description of the "
                                                      L"error is \"observer failed\"."});
  EXPECT_EQ(report.allocation_space_ids, (std::set<std::int64_t>{5}));
}

}  // namespace
}  // namespace netkeep::testing
