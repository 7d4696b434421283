#include "tests/support/network_fixture.h"

#include <filesystem>
#include <sstream>

namespace netkeep::testing {
namespace {

std::filesystem::path fixture(const std::string& name) {
  return std::filesystem::path(NETKEEP_SOURCE_DIR) / "tests" / "fixtures" / name;
}

}  // namespace

std::string network_registry() {
  std::istringstream lines(read_file(fixture("network.reg")));
  std::string body;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(";")) continue;
    body += line + "\n";
  }
  return body;
}

void install_network(test_installation& installation, const std::string& extra_registry) {
  installation.set_registry(network_registry() + "\n" + extra_registry);
  installation.create_databases();
  for (const char* database : {"Network", "Switching", "DeviceRedundancy"}) {
    installation.sql(std::string(database) + ".db", read_file(fixture("network-" + std::string(database) + ".sql")));
  }
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
