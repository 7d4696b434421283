// Every fault of mkinstall shows its own problem in `netkeep verify`, and
// `repair` leaves exactly the uncorrectable problems. The expectations are
// the problem texts of verify, written here independently of the faults.

#include <gtest/gtest.h>

#include <regex>

#include "tests/support/generated_installation.h"

namespace netkeep::testing {
namespace {

const std::string no_action = "No automatic action can be taken.";

struct expected_problem {
  const char* fault;
  const char* description;  // regular expression over the whole description
  const char* action;       // regular expression; empty when uncorrectable
};

const std::vector<expected_problem> expectations = {
    {"satellite-without-allocation-space",
     R"(The satellite 'Horizon 3A' does not have an allocation space associated with it\.)", ""},
    {"allocation-space-id-wrong-type",
     R"(The satellite with the id of \d+ has a corrupt allocation space identifier\. The following error occurred )"
     R"(while attempting to read it: Illegal value type used to store identifier\.)",
     ""},
    {"allocation-space-id-illegal-characters",
     R"(The satellite with the id of \d+ has a corrupt allocation space identifier\. The following error occurred )"
     R"(while attempting to read it: Illegal characters in identifier\.)",
     ""},
    {"allocation-space-id-unreadable",
     R"(The satellite with the id of \d+ has a corrupt allocation space identifier\. The following error occurred )"
     R"(while attempting to read it: (?!Illegal ).+)",
     ""},
    {"corrupt-device-moniker",
     R"(A corrupt device moniker was found in the up-converter with the id \d+ located in the antenna '[^']+' )"
     R"(located in the satellite '[^']+')",
     ""},
    {"unknown-managed-modulator",
     R"(The managed modulator 'retired-modulator-s\d+' for site '\w+' \(id: \d+\) is not associated with a )"
     R"(satellite\.)",
     R"(Clear managed modulator binding for the site with the id \d+\.)"},
    {"unknown-managed-demodulator",
     R"(The managed demodulator 'retired-demodulator-s\d+' for site '\w+' \(id: \d+\) is not associated with a )"
     R"(satellite\.)",
     R"(Clear managed demodulator binding for the site with the id \d+\.)"},
    {"unknown-home-demodulator",
     R"(The home demodulator 'retired-hub-demodulator-s\d+' for site '\w+' \(id: \d+\) is not associated with a )"
     R"(satellite\.)",
     R"(Clear home demodulator binding for the site with the id \d+\.)"},
    {"unknown-home-modulator",
     R"(The home modulator 'retired-hub-modulator-s\d+' for site '\w+' \(id: \d+\) is not associated with a )"
     R"(satellite\.)",
     R"(Clear home modulator binding for the site with the id \d+\.)"},
    {"inband-satellite-mismatch",
     R"(A mismatch was detected in the associated satellite between two or more managed and home state devices )"
     R"(for site '\w+' \(id: \d+\)\.)"
     R"(\n    Managed modulator '\d+-mod-s\d+' is associated with satellite '([^']+)'\.)"
     R"(\n    Managed demodulator '\d+-demod-s\d+' is associated with satellite '\1'\.)"
     R"(\n    Home demodulator '\d+-hubdemod-a\d+' is associated with satellite '(?!\1')[^']+'\.)"
     R"(\n    Home modulator '\d+-hubmod-a\d+' is associated with satellite '(?!\1')[^']+'\.)",
     ""},
    {"logical-link-without-primary-role",
     R"(The 'device' \d+-demod-s\d+ for group \d+ slot \d+ has a logical link even though the slot does not have a )"
     R"(primary role\.)",
     R"(Clear logical link for device \d+-demod-s\d+in group \d+ slot\d+\.)"},
    {"antenna-on-several-satellites",
     R"(The antenna '([^']+) aka \1 \(old\)' is associated with multiple satellites\. The involved satellites are )"
     R"('([^']+)' and '([^']+)'\.)"
     R"(\n    According to inband home states, the correct satellite for this antenna is '\2\.)",
     R"(Delete the antenna the id \d+ from the satellite\(s\) with the id\(s\) \d+)"},
    {"antenna-on-several-satellites-no-home",
     R"(The antenna 'Spare dish \d+ aka Spare dish \d+' is associated with multiple satellites\. The involved )"
     R"(satellites are '[^']+' and '[^']+'\.)",
     ""},
    {"device-on-several-rf-chains", R"(The device with the moniker '\d+-demod-s\d+' is associated with multiple RF )"
                                    R"(chains\.)",
     ""},
    {"site-without-inband",
     R"(The site 'Decommissioned Eastmoor' \(id: \d+\) refers to a non existent inband \(id: \d+\))",
     R"(Delete the inband property entry for the site with the id \d+)"},
    {"duplicate-managed-device", R"(Multiple device id entries for '\d+-mod-s\d+'\.)", ""},
    {"unused-managed-device",
     R"(Device '(\d+)-mod-decommissioned' \(id: \1\) in managed device map when not associated with a satellite\.)",
     R"(Delete the managed device entry with the id \d+)"},
    {"orphan-managed-device-in-use",
     R"(Device '(\d+)-demod-decommissioned' \(id: \1\) in managed device map when not associated with a )"
     R"(satellite\.)",
     ""},
    {"allocation-space-without-satellite", R"(The allocation space with the id 9\d\d is not associated with a )"
                                           R"(satellite\.)",
     ""},
    {"allocation-space-on-several-satellites",
     R"(The allocation space with the id \d+ is associated with the satellites with the ids \d+, \d+)", ""},
    {"allocation-space-scan-error",
     R"(A low level error occurred while attempting the scan switching engine allocationspaces\. The description )"
     R"(of the error is "database disk image is malformed"\.)",
     ""},
    {"duplicate-allocations",
     R"(Multiple allocations where detected for '\d+-mod-s\d+'\. The allocations where:)"
     R"(\n\t\d+ on allocation space (\d+)\.\n\t\d+ on allocation space \1\.\n)",
     ""},
    {"allocation-on-wrong-space",
     R"(An allocation with the id \d+ located in the allocation space '[^']+' was found for '\d+-mod-s\d+'\. )"
     R"(This is not the allocation space the device is currently associated with\.)"
     R"(\n    The currently associated allocation space has the id of \d+\.)",
     R"(Delete the allocation with the id \d+)"},
    {"allocation-of-unregistered-device",
     R"(An allocation with the id \d+ located in the allocation space '[^']+' was found for )"
     R"('\d+-mod-unregistered'\. This is not the allocation space the device is currently associated with\.)"
     R"(\n    There is no allocated space currently associated with this device\.)",
     R"(Delete the allocation with the id \d+)"},
    {"allocation-of-device-on-several-spaces",
     R"(An allocation with the id \d+ located in the allocation space '[^']+' was found for '\d+-mod-roaming'\. )"
     R"(This is not the allocation space the device is currently associated with\.)"
     R"(\n    There currently multiple associated allocation spaces\.)",
     R"(Delete the allocation with the id \d+)"},
    {"allocation-of-unknown-allocator",
     R"(Encountered an error while attempting to verify the validity of the allocation with the id \d+ made by the )"
     R"(allocator with the id \d+ on the allocation space with the id \d+\. The description of the error is )"
     R"("Allocator not found in managed device map\."\.)",
     ""},
    {"allocation-scan-error",
     R"(A low level error occurred while attempting the scan switching engine allocations\. The error reported )"
     R"(was: database disk image is malformed)",
     ""},
    {"allocatable-device-unknown",
     R"(The allocatable device 'retired-modem-1' is no longer associated with an allocation space\.)",
     R"(Delete the allocatable device 'retired-modem-1' from the satellite '[^']+'\.)"},
    {"allocatable-device-unknown-in-use",
     R"(The allocatable device 'retired-modem-2' is no longer associated with an allocation space\.)", ""},
    {"allocatable-device-wrong-satellite",
     R"(The allocatable device '\d+-hub(de)?mod-a\d+' is no longer associated with the satellite '[^']+'\.)",
     R"(Delete the allocatable device '\d+-hub(de)?mod-a\d+' from the satellite '[^']+'\.)"},
    {"allocatable-device-wrong-satellite-in-use",
     R"(The allocatable device '\d+-mod-s\d+' is no longer associated with the satellite '[^']+'\.)", ""},
    {"allocatable-device-duplicate",
     R"(The allocatable device '\d+-hub(de)?mod-a\d+' on satellite '[^']+' has a duplicate entry\.)",
     R"(Delete the allocatable device '\d+-hub(de)?mod-a\d+' from the satellite '[^']+'\.)"},
    {"allocatable-device-duplicate-in-use",
     R"(The allocatable device '\d+-demod-s\d+' on satellite '[^']+' has a duplicate entry\.)", ""},
    {"unrecovered-resources-without-device",
     R"(A set of unrecovered resources was detected that are not associated with a managed device\.)",
     R"(Delete the unrecovered resources on the allocation space with the id \d+ associated with the managed )"
     R"(device with the id \d+)"},
    {"unrecovered-resources-wrong-space",
     R"(A set of unrecovered resources is on an allocation space '[^']+' that the managed device \d+-mod-s\d+ is )"
     R"(not currently associated with\.)",
     R"(Delete the unrecovered resources on the allocation space with the id \d+ associated with the managed )"
     R"(device with the id \d+)"},
    {"device-in-several-inbands", R"(The device '\d+-mod-s\d+' is in use my multiple inbands\.)", ""},
    {"preallocation-space-gone",
     R"(A preallocation for the allocator '\d+-mod-s\d+ exists on an allocation space '9\d\d' which no longer )"
     R"(exists\.)",
     R"(Delete the pre-allocation for the allocator with the id \d+)"},
    {"preallocation-wrong-space",
     R"(A preallocation for the allocator '\d+-mod-s\d+ exists on an allocation space '[^']+' which it is no )"
     R"(longer associated with\.)",
     R"(Delete the pre-allocation for the allocator with the id \d+)"},
    {"reservation-unknown-device",
     R"(One or more reservations for the allocator <unknown\(\d+\)> refer to a device that is not present in the )"
     R"(managed device map)",
     ""},
    {"reservation-invalid-device",
     R"(One or more reservations for the allocator \d+-hub(de)?mod-a\d+ refer to a device that is no longer a )"
     R"(valid managed device)",
     R"(Delete the reservation for the allocator with the id \d+)"},
};

void PrintTo(const expected_problem& e, std::ostream* out) { *out << e.fault; }

bool correctable(const expected_problem& e) { return e.action[0] != '\0'; }

// Whether the listing holds the expected problem with its recovery action.
bool lists(const std::vector<listed_problem>& problems, const expected_problem& e) {
  const std::regex description(e.description);
  const std::regex action(correctable(e) ? e.action : "No automatic action can be taken\\.");
  for (const listed_problem& p : problems) {
    if (std::regex_match(p.description, description) && std::regex_match(p.action, action)) return true;
  }
  return false;
}

std::string listing(const std::vector<listed_problem>& problems) {
  std::string text;
  for (const listed_problem& p : problems) text += p.description + "\n  -> " + p.action + "\n";
  return text;
}

int count_correctable(const std::vector<listed_problem>& problems) {
  int count = 0;
  for (const listed_problem& p : problems) count += p.action != no_action;
  return count;
}

class MkinstallFault : public ::testing::TestWithParam<expected_problem> {
 protected:
  generated_installations folder;
};

TEST(MkinstallFaultList, EveryFaultHasAnExpectedProblem) {
  SKIP_ON_WINDOWS_TARGET("a test of mkinstall alone: no netkeep runs");
  const run_result list = generated_installations().mkinstall({"faults"});
  std::size_t listed = 0;
  for (std::size_t start = 0; start < list.out.size(); start = list.out.find('\n', start) + 1, ++listed) {
    const std::string name = list.out.substr(start, list.out.find(' ', start) - start);
    bool known = false;
    for (const expected_problem& e : expectations) known = known || name == e.fault;
    EXPECT_TRUE(known) << name;
  }
  EXPECT_EQ(listed, expectations.size());
}

// One fault alone: verify lists its problem; repair fixes it when it is
// correctable, and leaves no correctable problem behind.
TEST_P(MkinstallFault, ShowsItsProblemAndRepairKeepsOnlyUncorrectableOnes) {
  const expected_problem& e = GetParam();
  folder.create("site", {"--sites", "40", "--faults", e.fault});
  const run_result before = folder.netkeep("site", {"verify"});
  const std::vector<listed_problem> found = listed_problems(before.out);
  EXPECT_TRUE(lists(found, e)) << listing(found) << before.err;

  const run_result repair = folder.netkeep("site", {"repair"});
  EXPECT_NE(repair.err.find("repairs complete"), std::string::npos) << repair.err;
  const run_result after = folder.netkeep("site", {"verify"});
  const std::vector<listed_problem> left = listed_problems(after.out);
  EXPECT_EQ(count_correctable(left), 0) << listing(left);
  EXPECT_EQ(lists(left, e), !correctable(e)) << listing(left);
}

INSTANTIATE_TEST_SUITE_P(Each, MkinstallFault, ::testing::ValuesIn(expectations),
                         [](const ::testing::TestParamInfo<expected_problem>& info) {
                           std::string name = info.param.fault;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// All faults together, with and without indexes: every kind of problem is
// listed, and after repair exactly the uncorrectable ones are.
TEST(MkinstallAllFaults, EveryKindIsListedAndRepairLeavesTheUncorrectableOnes) {
  for (const char* indexes : {"--seed", "--no-indexes"}) {
    generated_installations folder;
    std::vector<std::string> options = {"--sites", "120", "--faults", "all", indexes};
    if (std::string(indexes) == "--seed") options.push_back("5");
    folder.create("site", options);

    const run_result before = folder.netkeep("site", {"verify"});
    const std::vector<listed_problem> found = listed_problems(before.out);
    for (const expected_problem& e : expectations) EXPECT_TRUE(lists(found, e)) << e.fault << " " << indexes;

    const run_result repair = folder.netkeep("site", {"repair"});
    EXPECT_EQ(repair.status, 0) << repair.err;
    const run_result after = folder.netkeep("site", {"verify"});
    const std::vector<listed_problem> left = listed_problems(after.out);
    EXPECT_EQ(count_correctable(left), 0) << listing(left);
    EXPECT_EQ(left.size(), found.size() - static_cast<std::size_t>(count_correctable(found))) << listing(left);
    for (const expected_problem& e : expectations) {
      if (!correctable(e)) {
        EXPECT_TRUE(lists(left, e)) << e.fault;
      }
    }
  }
}

}  // namespace
}  // namespace netkeep::testing
