#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/installation/installation.h"
#include "platform/win32/registry.h"
#include "report/integrity_report.h"
#include "tests/support/test_installation.h"

namespace netkeep {
namespace {

using testing::section;
using testing::test_installation;

const std::string satellites = "Bandwidth\\Satellites\\";
const std::string allocation_space_property = "\\Properties\\{2C3FDB10-B500-4423-947A-16D2FECA7876}";
const std::string inband_property = "\\{41D79A62-C53D-45DB-8F45-F44649E27BB6}";

// A satellite key with its name and, unless `id_line` is empty, its
// allocation space property holding that line.
std::string satellite(const std::string& key, const std::string& name, const std::string& id_line) {
  std::string text = section(satellites + key) + "\n\"Name\"=\"" + name + "\"\n\n";
  if (!id_line.empty()) text += section(satellites + key + allocation_space_property) + "\n" + id_line + "\n\n";
  return text;
}

std::string antenna(const std::string& satellite_key, const std::string& key, const std::string& name) {
  return section(satellites + satellite_key + "\\Antennas\\" + key) + "\n\"Name\"=\"" + name + "\"\n\n";
}

// A converter's device list with the given value lines.
std::string devices(const std::string& satellite_key, const std::string& antenna_key, bool up,
                    const std::string& converter_key, const std::string& value_lines) {
  return section(satellites + satellite_key + "\\Antennas\\" + antenna_key +
                 (up ? "\\UpConverters\\" : "\\DownConverters\\") + converter_key +
                 (up ? "\\Modulators" : "\\Demodulators")) +
         "\n" + value_lines + "\n\n";
}

std::string site(const std::string& key, const std::string& id_line) {
  return section("Network\\Properties\\" + key + inband_property) + "\n" + id_line + "\n\n";
}

std::string digits(std::size_t count) { return std::string(count, '1'); }

using rf_path = integrity_report::rf_device_path;

std::vector<std::pair<std::wstring, std::vector<std::int64_t>>> rf_entries(const integrity_report& report) {
  std::vector<std::pair<std::wstring, std::vector<std::int64_t>>> entries;
  for (const auto& device : report.rf_devices) {
    const rf_path& path = device.path;
    entries.push_back({device.wide_moniker(), {path.satellite_id, path.antenna_id, path.up_converter ? 1 : 0, path.converter_id}});
  }
  return entries;
}

std::vector<std::wstring> descriptions(const integrity_report& report) {
  std::vector<std::wstring> texts;
  for (const auto& problem : report.problems) {
    EXPECT_FALSE(problem.correctable());
    texts.push_back(problem.description);
  }
  return texts;
}

// Loads the configuration of a hive written from .reg text, as a
// verification run does.
class NetworkConfiguration : public ::testing::Test {
 protected:
  void load(const std::string& body) {
    installation.set_registry(body);
    setenv("ORBENTA_REGISTRY", installation.hive_file().c_str(), 1);
    win32::registry::key_handle key = win32::registry::open_key(
        win32::registry::local_machine(), installation::key_path, win32::registry::generic_read);
    report.load_network_configuration(key.get());
    report.load_inband_properties(key.get());
  }

  test_installation installation;
  integrity_report report{text_sink{}};
};

TEST_F(NetworkConfiguration, ReadsSatellitesAntennasConvertersAndMonikers) {
  load(satellite("1", "West", "\"Id\"=\"100\"") + antenna("1", "10", "Dish") +
       devices("1", "10", true, "3", "\"a\"=\"MOD-1\"\n\"b\"=\"MOD-2\"") +
       devices("1", "10", false, "-4", "\"x\"=\"DEMOD-1\"\n\"y\"=\"MOD-2\"") + antenna("1", "11", "Dish-2") +
       satellite("2", "East", "\"Id\"=\"007\"") + antenna("2", "10", "Dish-East") +
       devices("2", "10", true, "99999999999", "\"a\"=\"MOD-1\""));

  EXPECT_TRUE(report.problems.empty());
  EXPECT_EQ(report.satellite_names, (std::map<std::int64_t, std::wstring>{{1, L"West"}, {2, L"East"}}));
  EXPECT_EQ(report.satellite_allocation_spaces, (std::multimap<std::int64_t, std::int64_t>{{1, 100}, {2, 7}}));
  EXPECT_EQ(report.allocation_space_satellites, (std::multimap<std::int64_t, std::int64_t>{{7, 2}, {100, 1}}));
  EXPECT_EQ(report.antenna_names,
            (std::multimap<std::int64_t, std::wstring>{{10, L"Dish"}, {10, L"Dish-East"}, {11, L"Dish-2"}}));
  EXPECT_EQ(report.antenna_satellites, (std::multimap<std::int64_t, std::int64_t>{{10, 1}, {10, 2}, {11, 1}}));
  EXPECT_EQ(rf_entries(report), (std::vector<std::pair<std::wstring, std::vector<std::int64_t>>>{
                                    {L"DEMOD-1", {1, 10, 0, -4}},
                                    {L"MOD-1", {1, 10, 1, 3}},
                                    {L"MOD-1", {2, 10, 1, 2147483647}},
                                    {L"MOD-2", {1, 10, 1, 3}},
                                    {L"MOD-2", {1, 10, 0, -4}},
                                }));
  EXPECT_EQ(report.antenna_label(10), L"Dish aka Dish-East");
}

TEST_F(NetworkConfiguration, WithoutSatellitesOrSitesEverythingStaysEmpty) {
  load(section("Bandwidth") + "\n\"Other\"=\"x\"\n\n" + section("Network") + "\n\n");
  EXPECT_TRUE(report.problems.empty());
  EXPECT_TRUE(report.satellite_names.empty());
  EXPECT_TRUE(report.antenna_satellites.empty());
  EXPECT_TRUE(report.rf_devices.empty());
  EXPECT_TRUE(report.inband_sites.empty());
}

TEST_F(NetworkConfiguration, ReportsMissingAndCorruptAllocationSpaceIdentifiers) {
  load(satellite("12", "S12", "\"Id\"=dword:0000000c") + satellite("13", "S13", "\"Id\"=\"12a\"") +
       satellite("14", "S14", "\"Id\"=\"\"") + satellite("15", "S15", "\"Id\"=\"" + digits(19) + "\"") +
       satellite("16", "S16", "\"Other\"=\"1\"") + satellite("17", "Sat-A", "") + antenna("17", "5", "Dish-A") +
       satellite("18", "S18", "\"Id\"=\"" + digits(64) + "\"") +
       satellite("19", "S19", "\"Id\"=\"" + digits(18) + "\""));

  const std::wstring corrupt = L" has a corrupt allocation space identifier."
                               L" The following error occurred while attempting to read it: ";
  EXPECT_EQ(descriptions(report),
            (std::vector<std::wstring>{
                L"The satellite with the id of 12" + corrupt + L"Illegal value type used to store identifier.",
                L"The satellite with the id of 13" + corrupt + L"Illegal characters in identifier.",
                L"The satellite with the id of 14" + corrupt + L"Illegal characters in identifier.",
                L"The satellite with the id of 15" + corrupt + L"Illegal characters in identifier.",
                L"The satellite with the id of 16" + corrupt + L"The system cannot find the file specified.",
                L"The satellite 'Sat-A' does not have an allocation space associated with it.",
                L"The satellite with the id of 18" + corrupt + L"More data is available.",
            }));
  // Only the sound identifier enters the tables; the antennas of a satellite
  // without one are still read.
  EXPECT_EQ(report.satellite_allocation_spaces,
            (std::multimap<std::int64_t, std::int64_t>{{19, 111111111111111111}}));
  EXPECT_EQ(report.antenna_satellites, (std::multimap<std::int64_t, std::int64_t>{{5, 17}}));
  EXPECT_EQ(report.satellite_names.size(), 8u);
}

TEST_F(NetworkConfiguration, ReportsMonikersThatAreNotStrings) {
  load(satellite("3", "Sat", "\"Id\"=\"3\"") + antenna("3", "30", "Ant") +
       devices("3", "30", false, "2", "\"m\"=hex(7):4d,00,31,00,00,00,00,00\n\"n\"=\"MOD-9\"") +
       devices("3", "30", true, "1", "\"m\"=dword:00000001") + satellite("4", "Other", "\"Id\"=\"4\"") +
       antenna("4", "30", "Ant-2") + devices("4", "30", true, "0", "\"m\"=hex:4d,00"));

  EXPECT_EQ(descriptions(report),
            (std::vector<std::wstring>{
                L"A corrupt device moniker was found in the up-converter with the id 1 located in the antenna 'Ant' "
                L"located in the satellite 'Sat'",
                L"A corrupt device moniker was found in the down-converter with the id 2 located in the antenna 'Ant' "
                L"located in the satellite 'Sat'",
                L"A corrupt device moniker was found in the up-converter with the id 0 located in the antenna "
                L"'Ant aka Ant-2' located in the satellite 'Other'",
            }));
  EXPECT_EQ(rf_entries(report),
            (std::vector<std::pair<std::wstring, std::vector<std::int64_t>>>{{L"MOD-9", {3, 30, 0, 2}}}));
}

TEST_F(NetworkConfiguration, DifferentlyWrittenNamesGiveTheSameIds) {
  load(satellite("07", "First", "\"Id\"=\"70\"") + satellite("7", "Second", "\"Id\"=\"71\"") +
       antenna("7", "05", "Five") + antenna("7", "5", "Five again"));
  EXPECT_TRUE(report.problems.empty());
  EXPECT_EQ(report.satellite_names, (std::map<std::int64_t, std::wstring>{{7, L"First"}}));
  EXPECT_EQ(report.satellite_allocation_spaces, (std::multimap<std::int64_t, std::int64_t>{{7, 70}, {7, 71}}));
  EXPECT_EQ(report.antenna_satellites, (std::multimap<std::int64_t, std::int64_t>{{5, 7}, {5, 7}}));
}

TEST_F(NetworkConfiguration, ANameTooLongForItsBufferEndsItsEnumeration) {
  const std::string long_name = "1" + std::string(127, '0');
  load(satellite("1", "One", "\"Id\"=\"1\"") + antenna("1", "1", "Dish") +
       devices("1", "1", true, "1", "\"a\"=\"MOD-A\"\n\"" + long_name + "\"=\"MOD-B\"\n\"c\"=\"MOD-C\"") +
       satellite(long_name, "Long", "\"Id\"=\"2\"") + satellite("2", "Two", "\"Id\"=\"3\""));
  EXPECT_EQ(report.satellite_names, (std::map<std::int64_t, std::wstring>{{1, L"One"}}));
  EXPECT_EQ(rf_entries(report),
            (std::vector<std::pair<std::wstring, std::vector<std::int64_t>>>{{L"MOD-A", {1, 1, 1, 1}}}));
}

TEST_F(NetworkConfiguration, UnreadableNamesAndMonikersEndTheRun) {
  EXPECT_THROW(load(section(satellites + "1") + "\n\"Id\"=\"1\"\n\n"), win32::error);
  try {
    load(satellite("1", "One", "") + satellite("2", std::string(64, 'x'), "\"Id\"=\"2\""));
    FAIL() << "no exception";
  } catch (const win32::error& e) {
    EXPECT_EQ(e.code, win32::error_more_data);
  }
  // The problem found before stays.
  EXPECT_EQ(report.problems.size(), 1u);
}

TEST_F(NetworkConfiguration, AntennaNamesAndMonikersHaveTheirOwnBuffers) {
  load(satellite("1", "One", "\"Id\"=\"1\"") + antenna("1", "1", std::string(255, 'a')) +
       devices("1", "1", true, "1", "\"a\"=\"" + std::string(127, 'm') + "\""));
  EXPECT_EQ(report.antenna_label(1), std::wstring(255, L'a'));
  EXPECT_EQ(report.rf_devices.count(std::wstring(127, L'm')), 1u);

  EXPECT_THROW(load(satellite("1", "One", "\"Id\"=\"1\"") + antenna("1", "1", std::string(256, 'a'))), win32::error);
  EXPECT_THROW(load(satellite("1", "One", "\"Id\"=\"1\"") + antenna("1", "1", "A") +
                    devices("1", "1", false, "1", "\"a\"=\"" + std::string(128, 'm') + "\"")),
               win32::error);
}

TEST_F(NetworkConfiguration, ReadsTheInbandOfEachSite) {
  load(site("7", "\"Id\"=\"12\"") + section("Network\\Properties\\8") + "\n\n" + site("9", "\"Id\"=\"12\"") +
       site("11", "\"Id\"=\"abc\"") + site("-3", "\"Id\"=dword:00000031"));
  // The first site of an inband keeps it; an id that is no number reads as 0;
  // the type of the value is not looked at.
  EXPECT_EQ(report.inband_sites.find(12)->value, 7);
  EXPECT_EQ(report.inband_sites.text(*report.inband_sites.find(12)), L"7");
  EXPECT_EQ(report.inband_sites.find(0)->value, 11);
  EXPECT_EQ(report.inband_sites.find(1)->value, -3);
  EXPECT_EQ(report.inband_sites.size(), 3u);
  EXPECT_TRUE(report.problems.empty());
}

}  // namespace
}  // namespace netkeep
