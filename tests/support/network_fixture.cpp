#include "tests/support/network_fixture.h"

#include <filesystem>

namespace netkeep::testing {

std::string consistent_registry() {
  const std::string satellites = "Bandwidth\\Satellites\\";
  const std::string space = "\\Properties\\{2C3FDB10-B500-4423-947A-16D2FECA7876}";
  return section(satellites + "1") + "\n\"Name\"=\"West\"\n\n" +
         section(satellites + "1" + space) + "\n\"Id\"=\"100\"\n\n" +
         section(satellites + "1\\Antennas\\10") + "\n\"Name\"=\"Dish-West\"\n\n" +
         section(satellites + "1\\Antennas\\10\\UpConverters\\1\\Modulators") + "\n\"0\"=\"MOD-1\"\n\n" +
         section(satellites + "1\\Antennas\\10\\DownConverters\\2\\Demodulators") + "\n\"0\"=\"DEMOD-1\"\n\n" +
         section(satellites + "1\\Antennas\\11") + "\n\"Name\"=\"Hub-West\"\n\n" +
         section(satellites + "1\\Antennas\\11\\UpConverters\\1\\Modulators") + "\n\"0\"=\"HOME-MOD\"\n\n" +
         section(satellites + "1\\Antennas\\11\\DownConverters\\2\\Demodulators") + "\n\"0\"=\"HOME-DEMOD\"\n\n" +
         section(satellites + "2") + "\n\"Name\"=\"East\"\n\n" +
         section(satellites + "2" + space) + "\n\"Id\"=\"200\"\n\n" +
         section(satellites + "2\\Antennas\\20") + "\n\"Name\"=\"Dish-East\"\n\n" +
         section("Network\\Properties\\7\\{41D79A62-C53D-45DB-8F45-F44649E27BB6}") + "\n\"Id\"=\"12\"\n\n";
}

void fill_consistent_databases(test_installation& installation) {
  installation.create_databases();
  installation.sql("Network.db",
                   "INSERT INTO site_data VALUES (7, 'North');"
                   "INSERT INTO property VALUES (7, x'629AD7413DC5DB458F45F44649E27BB6', x'0c');");
  installation.sql("Switching.db",
                   "INSERT INTO managed_device_map VALUES (1, 'MOD-1'), (2, 'DEMOD-1'), (3, 'HOME-MOD'),"
                   " (4, 'HOME-DEMOD');"
                   "INSERT INTO inband_state VALUES (12, 1);"
                   "INSERT INTO inband_channel VALUES (12, 0, 'MOD-1', 'HOME-DEMOD'), (12, 1, 'DEMOD-1', 'HOME-MOD');"
                   "INSERT INTO allocation_space VALUES (100, 1000), (200, 1000);"
                   "INSERT INTO allocation VALUES (1, 1, 100, 0, 0, 0, 10);"
                   "INSERT INTO allocatable_device VALUES (100, 'modulator', 'MOD-1', 1, 0),"
                   " (100, 'demodulator', 'DEMOD-1', 1, 0);"
                   "INSERT INTO device_allocation VALUES (1, 'MOD-1');"
                   "INSERT INTO preallocation VALUES (1, 100, 10);"
                   "INSERT INTO bandwidth_reservation VALUES (100, 1, 10);"
                   "INSERT INTO unrecovered_resources VALUES (2, 100, 5);");
  installation.sql("DeviceRedundancy.db",
                   "INSERT INTO slot VALUES (1, 1, 2), (2, 1, 1);"
                   "INSERT INTO [slot.device_binding] VALUES (1, 1, 'MOD-1', 'DEMOD-1'), (1, 2, 'DEMOD-1', '(none)');"
                   "INSERT INTO device_configuration VALUES ('DEMOD-1', x'01');");
}

std::string database_bytes(const test_installation& installation) {
  std::string bytes;
  for (const char* file : {"Network.db", "Switching.db", "DeviceRedundancy.db"}) {
    if (std::filesystem::exists(installation.database(file))) bytes += read_file(installation.database(file));
    bytes += '|';
  }
  return bytes;
}

}  // namespace netkeep::testing
