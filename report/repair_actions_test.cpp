#include "report/repair_actions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/installation/installation.h"
#include "platform/text/unicode.h"
#include "platform/win32/registry.h"
#include "tests/support/test_installation.h"

namespace netkeep {
namespace {

using testing::test_installation;
using rows = std::vector<std::string>;

std::wstring describe(const repair_action& action) {
  std::wostringstream out;
  integrity_report::repair_context context{false, true, &out};
  action(context);
  return out.str();
}

// Applies the action with a stream at hand that it must not write to.
void apply(const repair_action& action) {
  std::wostringstream out;
  integrity_report::repair_context context{true, false, &out};
  action(context);
  EXPECT_EQ(out.str(), L"");
}

// The report's connections open on the three database files of a throw-away
// installation.
class RepairActions : public ::testing::Test {
 protected:
  RepairActions() {
    installation.create_databases();
    installation.sql("Switching.db",
                     "INSERT INTO managed_device_map VALUES (5, 'MOD-5'), (6, 'MOD-6');"
                     "INSERT INTO inband_channel VALUES (3, 0, 'MOD-5', 'HOME-1'), (3, 1, 'DEMOD-5', 'HOME-2'),"
                     " (4, 0, 'MOD-6', 'HOME-3');"
                     "INSERT INTO unrecovered_resources VALUES (5, 100, 1), (5, 101, 2), (6, 100, 3);"
                     "INSERT INTO allocatable_device VALUES (100, 'modulator', 'MOD-5', 1, 0),"
                     " (100, 'modulator', 'MOD-5', 1, 0);"
                     "INSERT INTO preallocation VALUES (5, 100, 10), (5, 101, 20), (6, 100, 30);"
                     "INSERT INTO bandwidth_reservation VALUES (100, 5, 10), (100, 6, 30);");
    installation.sql("DeviceRedundancy.db",
                     "INSERT INTO [slot.device_binding] VALUES (3, 4, 'DEV-12', 'LINK-1'), (3, 5, 'DEV-12', 'LINK-2');"
                     "INSERT INTO device_configuration VALUES ('LINK-1', x'01'), ('LINK-2', x'02');");
    open();
  }

  void open() {
    report.network_db.open(installation.database("Network.db").wstring());
    report.switching_db.open(installation.database("Switching.db").wstring());
    report.redundancy_db.open(installation.database("DeviceRedundancy.db").wstring());
  }

  rows switching(const std::string& select) const { return installation.query("Switching.db", select); }
  rows redundancy(const std::string& select) const { return installation.query("DeviceRedundancy.db", select); }

  test_installation installation;
  integrity_report report{text_sink{}};
};

TEST_F(RepairActions, DescriptionsAreExactAndChangeNothing) {
  const std::string before = testing::read_file(installation.database("Switching.db")) +
                             testing::read_file(installation.database("DeviceRedundancy.db"));
  report.satellite_names[2] = L"West";
  report.allocation_space_satellites.emplace(100, 2);

  EXPECT_EQ(describe(clear_inband_channel_binding(L"managed modulator", "device", 3, 0, &report)),
            L"Clear managed modulator binding for the site with the id 3.");
  EXPECT_EQ(describe(clear_logical_link(L"12", 3, 4, &report, L"LINK-1")),
            L"Clear logical link for device 12in group 3 slot4.");
  EXPECT_EQ(describe(delete_inband_property(-4294967297, L"-1", &report)),
            L"Delete the inband property entry for the site with the id -4294967297");
  EXPECT_EQ(describe(delete_antenna(7, {1, 2}, {})),
            L"Delete the antenna the id 7 from the satellite(s) with the id(s) 1, 2");
  EXPECT_EQ(describe(delete_antenna(7, {9}, {{L"9", L"7"}})), L"Delete the antenna the id 7 from the satellite(s) with the id(s) 9");
  EXPECT_EQ(describe(delete_managed_device_entry(5, &report)), L"Delete the managed device entry with the id 5");
  EXPECT_EQ(describe(delete_unrecovered_resources(100, 5, &report)),
            L"Delete the unrecovered resources on the allocation space with the id 100 associated with the managed "
            L"device with the id 5");
  EXPECT_EQ(describe(delete_allocatable_device(L"MOD-5", &report, 100, 1)),
            L"Delete the allocatable device 'MOD-5' from the satellite 'West'.");
  EXPECT_EQ(describe(delete_allocatable_device(L"MOD-5", &report, 101, 1)),
            L"Delete the allocatable device 'MOD-5' from the satellite '101'.");
  EXPECT_EQ(describe(delete_reservation(5, &report)), L"Delete the reservation for the allocator with the id 5");
  EXPECT_EQ(describe(delete_preallocation(-5, &report)), L"Delete the pre-allocation for the allocator with the id -5");
  EXPECT_EQ(describe(delete_allocation(9, &report)), L"Delete the allocation with the id 9");

  // Neither flag: nothing at all.
  integrity_report::repair_context idle{false, false, nullptr};
  delete_managed_device_entry(5, &report)(idle);

  report.close_databases();
  EXPECT_EQ(testing::read_file(installation.database("Switching.db")) +
                testing::read_file(installation.database("DeviceRedundancy.db")),
            before);
}

TEST_F(RepairActions, AnAllocatableDeviceLabelIsReadWhenDescribed) {
  repair_action action = delete_allocatable_device(L"MOD-5", &report, 100, 1);
  EXPECT_EQ(describe(action), L"Delete the allocatable device 'MOD-5' from the satellite '100'.");
  report.satellite_names[2] = L"West";
  report.allocation_space_satellites.emplace(100, 2);
  EXPECT_EQ(describe(action), L"Delete the allocatable device 'MOD-5' from the satellite 'West'.");
}

TEST_F(RepairActions, ClearInbandChannelBindingSetsOneColumnOfOneChannel) {
  apply(clear_inband_channel_binding(L"managed demodulator", "device", 3, 1, &report));
  apply(clear_inband_channel_binding(L"home demodulator", "home_device", 3, 0, &report));
  EXPECT_EQ(switching("SELECT * FROM inband_channel ORDER BY inband, number"),
            (rows{"3|0|MOD-5|(none)", "3|1|(none)|HOME-2", "4|0|MOD-6|HOME-3"}));
}

TEST_F(RepairActions, ClearLogicalLinkAlsoDeletesTheLinkedConfiguration) {
  apply(clear_logical_link(L"DEV-12", 3, 4, &report, L"LINK-1"));
  EXPECT_EQ(redundancy("SELECT * FROM [slot.device_binding] ORDER BY slot"),
            (rows{"3|4|DEV-12|(none)", "3|5|DEV-12|LINK-2"}));
  EXPECT_EQ(redundancy("SELECT device FROM device_configuration"), (rows{"LINK-2"}));
}

TEST_F(RepairActions, DeletesMatchTheirIdsOnly) {
  apply(delete_managed_device_entry(5, &report));
  EXPECT_EQ(switching("SELECT id FROM managed_device_map"), (rows{"6"}));

  apply(delete_unrecovered_resources(100, 5, &report));
  EXPECT_EQ(switching("SELECT * FROM unrecovered_resources"), (rows{"5|101|2", "6|100|3"}));

  apply(delete_allocatable_device(L"MOD-5", &report, 100, 2));
  EXPECT_EQ(switching("SELECT rowid FROM allocatable_device"), (rows{"1"}));

  apply(delete_preallocation(6, &report));
  EXPECT_EQ(switching("SELECT * FROM preallocation"), (rows{"5|100|10", "5|101|20"}));

  apply(delete_reservation(5, &report));
  EXPECT_EQ(switching("SELECT * FROM preallocation"), rows{});
  EXPECT_EQ(switching("SELECT * FROM bandwidth_reservation"), (rows{"100|6|30"}));

  // Nothing left to match is no failure.
  apply(delete_reservation(5, &report));
  apply(delete_managed_device_entry(42, &report));
}

TEST_F(RepairActions, DeleteReservationKeepsThePreallocationsWhenTheReservationCannotGo) {
  installation.sql("Switching.db", "DROP TABLE bandwidth_reservation;");
  EXPECT_THROW(apply(delete_reservation(5, &report)), sqlite::error);
  EXPECT_EQ(switching("SELECT * FROM preallocation WHERE allocator = 5"), (rows{"5|100|10", "5|101|20"}));
  // The connection is usable again: the transaction was rolled back.
  apply(delete_preallocation(5, &report));
  EXPECT_EQ(switching("SELECT * FROM preallocation"), (rows{"6|100|30"}));
}

class DeleteAllocation : public RepairActions {
 protected:
  DeleteAllocation() {
    // Chain 1 <-> 2 <-> 3, and 4 alone.
    installation.sql("Switching.db",
                     "INSERT INTO allocation (id, allocator, allocation_space, past, future) VALUES"
                     " (1, 5, 100, 0, 2), (2, 5, 100, 1, 3), (3, 5, 100, 2, 0), (4, 6, 100, NULL, NULL);");
  }

  rows chain() const { return switching("SELECT id, past, future FROM allocation ORDER BY id"); }
};

TEST_F(DeleteAllocation, InTheMiddleJoinsBothNeighbours) {
  apply(delete_allocation(2, &report));
  EXPECT_EQ(chain(), (rows{"1|0|3", "3|1|0", "4|NULL|NULL"}));
}

TEST_F(DeleteAllocation, AtTheHeadOnlyTheSuccessorChanges) {
  apply(delete_allocation(1, &report));
  EXPECT_EQ(chain(), (rows{"2|0|3", "3|2|0", "4|NULL|NULL"}));
}

TEST_F(DeleteAllocation, AtTheTailOnlyThePredecessorChanges) {
  apply(delete_allocation(3, &report));
  EXPECT_EQ(chain(), (rows{"1|0|2", "2|1|0", "4|NULL|NULL"}));
}

TEST_F(DeleteAllocation, ALoneOneIsOnlyDeleted) {
  apply(delete_allocation(4, &report));
  EXPECT_EQ(chain(), (rows{"1|0|2", "2|1|3", "3|2|0"}));
  apply(delete_allocation(4, &report));  // gone already: no row, nothing to do
  EXPECT_EQ(chain(), (rows{"1|0|2", "2|1|3", "3|2|0"}));
}

TEST_F(DeleteAllocation, AFailingDeleteUndoesTheRelinking) {
  installation.sql("Switching.db",
                   "CREATE TRIGGER keep_allocations BEFORE DELETE ON allocation"
                   " BEGIN SELECT RAISE(ABORT, 'kept'); END;");
  try {
    apply(delete_allocation(2, &report));
    FAIL() << "no exception";
  } catch (const sqlite::error& e) {
    EXPECT_STREQ(e.what(), "kept");
  }
  EXPECT_EQ(chain(), (rows{"1|0|2", "2|1|3", "3|2|0", "4|NULL|NULL"}));
}

// The registry actions on a hive file, with the installation located as a
// command locates it.
class RegistryRepairActions : public RepairActions {
 protected:
  ~RegistryRepairActions() override { installation::close(); }

  void locate(const std::string& body) {
    installation.set_registry(body);
    setenv("ORBENTA_REGISTRY", installation.hive_file().c_str(), 1);
    installation::locate();
  }

  // Whether the key exists, relative to the installation key.
  static bool key_exists(const std::wstring& path) {
    try {
      win32::registry::open_key(win32::registry::local_machine(), std::wstring(installation::key_path) + L"\\" + path,
                                win32::registry::generic_read);
      return true;
    } catch (const win32::error&) {
      return false;
    }
  }

  // Writes the hive back and returns its text.
  std::string written_registry() {
    installation::close();
    return installation.registry_text();
  }
};

const std::string inband_property = "{41D79A62-C53D-45DB-8F45-F44649E27BB6}";

TEST_F(RegistryRepairActions, DeleteInbandPropertyRemovesTheKeyAndTheRowOfThatSiteOnly) {
  // Site 4294967301 shares its low 32 bits with site 5.
  locate(testing::section("Network\\Properties\\5\\" + inband_property) + "\n\"Id\"=\"12\"\n\n" +
         testing::section("Network\\Properties\\5\\Other") + "\n\"Id\"=\"1\"\n\n" +
         testing::section("Network\\Properties\\4294967301\\" + inband_property) + "\n\"Id\"=\"13\"\n\n");
  installation.sql("Network.db",
                   "INSERT INTO property VALUES (5, x'629AD7413DC5DB458F45F44649E27BB6', x'0c'),"
                   " (5, x'00000000000000000000000000000000', x'01'),"
                   " (4294967301, x'629AD7413DC5DB458F45F44649E27BB6', x'0d');");

  apply(delete_inband_property(4294967301, L"4294967301", &report));
  EXPECT_FALSE(key_exists(L"Network\\Properties\\4294967301\\" + text::from_utf8(inband_property)));
  EXPECT_TRUE(key_exists(L"Network\\Properties\\4294967301"));
  EXPECT_TRUE(key_exists(L"Network\\Properties\\5\\" + text::from_utf8(inband_property)));
  EXPECT_EQ(installation.query("Network.db", "SELECT id, hex(property_name) FROM property ORDER BY id, property_name"),
            (rows{"5|00000000000000000000000000000000", "5|629AD7413DC5DB458F45F44649E27BB6"}));

  apply(delete_inband_property(5, L"5", &report));
  EXPECT_FALSE(key_exists(L"Network\\Properties\\5\\" + text::from_utf8(inband_property)));
  EXPECT_TRUE(key_exists(L"Network\\Properties\\5\\Other"));
  EXPECT_EQ(installation.query("Network.db", "SELECT id, hex(property_name) FROM property"),
            (rows{"5|00000000000000000000000000000000"}));

  const std::string hive = written_registry();
  EXPECT_EQ(hive.find(inband_property), std::string::npos) << hive;
  EXPECT_NE(hive.find("Properties\\5\\Other]"), std::string::npos) << hive;
}

TEST_F(RegistryRepairActions, DeleteInbandPropertyFailsBeforeTheRowWhenTheKeyCannotGo) {
  locate(testing::section("Network\\Properties\\5\\" + inband_property + "\\Nested") + "\n\n");
  installation.sql("Network.db", "INSERT INTO property VALUES (5, x'629AD7413DC5DB458F45F44649E27BB6', x'0c');");
  try {
    apply(delete_inband_property(5, L"5", &report));
    FAIL() << "no exception";
  } catch (const win32::error& e) {
    EXPECT_EQ(e.code, win32::error_access_denied);
  }
  try {
    apply(delete_inband_property(6, L"6", &report));
    FAIL() << "no exception";
  } catch (const win32::error& e) {
    EXPECT_EQ(e.code, win32::error_file_not_found);
  }
  EXPECT_EQ(installation.query("Network.db", "SELECT id FROM property"), (rows{"5"}));
}

std::string antenna_tree(const std::string& satellite, const std::string& antenna) {
  const std::string key = "Bandwidth\\Satellites\\" + satellite + "\\Antennas\\" + antenna;
  return testing::section(key) + "\n\"Name\"=\"Dish\"\n\n" +
         testing::section(key + "\\UpConverters\\3\\Modulators") + "\n\"a\"=\"MOD-1\"\n\n" +
         testing::section(key + "\\DownConverters\\4\\Demodulators") + "\n\"a\"=\"DEMOD-1\"\n\n";
}

TEST_F(RegistryRepairActions, DeleteAntennaRemovesTheWholeSubtreeBelowEachSatellite) {
  locate(antenna_tree("1", "7") + antenna_tree("1", "8") + antenna_tree("2", "7") + antenna_tree("3", "7"));

  apply(delete_antenna(7, {1, 2}, {{L"1", L"7"}, {L"2", L"7"}}));
  EXPECT_FALSE(key_exists(L"Bandwidth\\Satellites\\1\\Antennas\\7"));
  EXPECT_FALSE(key_exists(L"Bandwidth\\Satellites\\2\\Antennas\\7"));
  EXPECT_TRUE(key_exists(L"Bandwidth\\Satellites\\2\\Antennas"));
  EXPECT_TRUE(key_exists(L"Bandwidth\\Satellites\\1\\Antennas\\8\\UpConverters\\3\\Modulators"));
  EXPECT_TRUE(key_exists(L"Bandwidth\\Satellites\\3\\Antennas\\7\\DownConverters\\4\\Demodulators"));

  const std::string hive = written_registry();
  EXPECT_EQ(hive.find("Satellites\\1\\Antennas\\7"), std::string::npos) << hive;
  EXPECT_EQ(hive.find("Satellites\\2\\Antennas\\7"), std::string::npos) << hive;
  EXPECT_NE(hive.find("Satellites\\3\\Antennas\\7\\UpConverters\\3\\Modulators]"), std::string::npos) << hive;
}

TEST_F(RegistryRepairActions, DeleteAntennaStopsAtTheFirstSatelliteWithoutIt) {
  locate(antenna_tree("3", "7") + antenna_tree("5", "7") + testing::section("Bandwidth\\Satellites\\4\\Antennas") +
         "\n\n");
  try {
    apply(delete_antenna(7, {3, 4, 5}, {{L"3", L"7"}, {L"4", L"7"}, {L"5", L"7"}}));
    FAIL() << "no exception";
  } catch (const win32::error& e) {
    EXPECT_EQ(e.code, win32::error_file_not_found);
  }
  EXPECT_FALSE(key_exists(L"Bandwidth\\Satellites\\3\\Antennas\\7"));
  EXPECT_TRUE(key_exists(L"Bandwidth\\Satellites\\5\\Antennas\\7"));
}

}  // namespace
}  // namespace netkeep
