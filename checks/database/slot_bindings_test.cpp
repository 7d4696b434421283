#include <gtest/gtest.h>

#include "checks/database/report_test_support.h"

namespace netkeep::testing {
namespace {

using SlotBindings = report_test;

TEST_F(SlotBindings, LinksOutsidePrimarySlotsAreCleared) {
  report.redundancy_db.exec(
      "INSERT INTO slot VALUES (12, 3, 1), (13, 3, 2), (14, 3, NULL);"
      "INSERT INTO [slot.device_binding] VALUES "
      "(3, 12, 'D7', 'L7'), (3, 12, 'D8', ''), (3, 12, 'D9', '(none)'), (3, 13, 'P1', 'L1'), (3, 14, 'N1', 'L2');"
      "INSERT INTO device_configuration VALUES ('L7', x'01'), ('L1', x'02'), ('L2', x'03'), ('D7', x'04')");
  report.check_slot_bindings();
  EXPECT_EQ(descriptions(),
            (std::vector<std::wstring>{
                L"The 'device' D7 for group 3 slot 12 has a logical link even though the slot does not have a "
                L"primary role.",
                L"The 'device' N1 for group 3 slot 14 has a logical link even though the slot does not have a "
                L"primary role.",
            }));
  EXPECT_EQ(recovery_actions(), (std::vector<std::wstring>{
                                    L"Clear logical link for device D7in group 3 slot12.",
                                    L"Clear logical link for device N1in group 3 slot14.",
                                }));
  apply_repairs();
  EXPECT_EQ(rows(report.redundancy_db, "SELECT device, logical_link FROM [slot.device_binding] ORDER BY device", 2),
            (std::vector<std::string>{"D7|(none)", "D8|", "D9|(none)", "N1|(none)", "P1|L1"}));
  EXPECT_EQ(rows(report.redundancy_db, "SELECT device FROM device_configuration ORDER BY device"),
            (std::vector<std::string>{"D7", "L1"}));
}

TEST_F(SlotBindings, MissingTableEndsTheRun) {
  report.redundancy_db.exec("DROP TABLE slot");
  EXPECT_THROW(report.check_slot_bindings(), sqlite::error);
}

}  // namespace
}  // namespace netkeep::testing
