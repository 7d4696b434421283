// The slot binding check end to end: a logical link on a slot without the
// primary role, and the repair that clears it and deletes the linked device's
// configuration.

#include <gtest/gtest.h>

#include "tests/support/network_fixture.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {
namespace {

class SlotBindingCheck : public ::testing::Test {
 protected:
  SlotBindingCheck() {
    install_network(installation);
    // The backup slot 2 gets a link; slot 3 has no role at all.
    installation.sql("DeviceRedundancy.db",
                     "UPDATE [slot.device_binding] SET logical_link = 'SPARE-1' WHERE slot = 2;"
                     "INSERT INTO slot VALUES (3, 4, NULL);"
                     "INSERT INTO [slot.device_binding] VALUES (4, 3, 'MOD-3', 'DEMOD-2'), (4, 3, 'MOD-4', '');"
                     "INSERT INTO device_configuration VALUES ('DEMOD-2', x'03'), ('SPARE-1', x'04')");
  }
  test_installation installation;
};

TEST_F(SlotBindingCheck, VerifyListsLinksOutsidePrimarySlots) {
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.out, problem_block("The 'device' DEMOD-1 for group 1 slot 2 has a logical link even though the slot "
                                 "does not have a primary role.",
                                 "Clear logical link for device DEMOD-1in group 1 slot2.") +
                       problem_block("The 'device' MOD-3 for group 4 slot 3 has a logical link even though the slot "
                                     "does not have a primary role.",
                                     "Clear logical link for device MOD-3in group 4 slot3."));
  EXPECT_TRUE(r.err.ends_with("\n" + summary(2, 0))) << r.err;
  EXPECT_EQ(r.status, 0);
}

TEST_F(SlotBindingCheck, RepairClearsTheLinkAndTheLinkedConfiguration) {
  run_result r = installation.run({"repair"});
  EXPECT_NE(r.err.find(summary(2, 0)), std::string::npos) << r.err;
  EXPECT_TRUE(r.err.ends_with("repairs complete\n")) << r.err;
  EXPECT_EQ(installation.query("DeviceRedundancy.db",
                               "SELECT [group], slot, device, logical_link FROM [slot.device_binding] ORDER BY rowid"),
            (std::vector<std::string>{"1|1|MOD-1|MOD-2", "1|2|DEMOD-1|(none)", "4|3|MOD-3|(none)", "4|3|MOD-4|"}));
  EXPECT_EQ(installation.query("DeviceRedundancy.db", "SELECT device FROM device_configuration ORDER BY device"),
            (std::vector<std::string>{"MOD-1", "MOD-2"}));
}

}  // namespace
}  // namespace netkeep::testing
