#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/installation/installation.h"
#include "report/integrity_report.h"
#include "tests/support/test_installation.h"

namespace netkeep {
namespace {

using testing::test_installation;

class OpenDatabases : public ::testing::Test {
 protected:
  OpenDatabases() {
    installation.create_databases();
    installation::data_directory = installation.data_directory().wstring();
  }
  ~OpenDatabases() override { installation::data_directory.clear(); }

  // The message of open_databases' failure, or "" when it succeeds.
  std::string failure() {
    try {
      report.open_databases();
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "";
  }

  test_installation installation;
  integrity_report report{text_sink{}};
};

TEST_F(OpenDatabases, OpensAllThreeAndClosesThem) {
  report.open_databases();
  EXPECT_TRUE(report.network_db.is_open());
  EXPECT_TRUE(report.switching_db.is_open());
  EXPECT_TRUE(report.redundancy_db.is_open());
  report.close_databases();
  EXPECT_FALSE(report.network_db.is_open() || report.switching_db.is_open() || report.redundancy_db.is_open());
}

TEST_F(OpenDatabases, AMissingFileIsNamedAndNothingIsOpenedOrCreated) {
  std::filesystem::remove(installation.database("DeviceRedundancy.db"));
  EXPECT_EQ(failure(), "Database file not found: " + installation.database("DeviceRedundancy.db").string());
  EXPECT_FALSE(report.network_db.is_open());
  EXPECT_FALSE(std::filesystem::exists(installation.database("DeviceRedundancy.db")));

  // Of several missing files, the first in the order Network, Switching,
  // DeviceRedundancy is named.
  std::filesystem::remove(installation.database("Switching.db"));
  EXPECT_EQ(failure(), "Database file not found: " + installation.database("Switching.db").string());
  std::filesystem::remove(installation.database("Network.db"));
  EXPECT_EQ(failure(), "Database file not found: " + installation.database("Network.db").string());
  EXPECT_TRUE(std::filesystem::is_empty(installation.data_directory()));
}

}  // namespace
}  // namespace netkeep
