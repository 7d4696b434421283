// Verification and repair on databases whose schemas differ from the
// product's: other declared types and collations, other keys and indexes,
// texts with a zero character. Each answer is the one the per-row statement
// gives, so nothing that the statements protect is reported or deleted.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/configuration_network.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

class DeclaredSchema : public ::testing::Test {
 protected:
  test_installation installation;
};

// Reservations of M1 (9), whose out-of-band state names the device as its
// column's collation or affinity matches 'M1' (or, for the NUMERIC column,
// the moniker '0123' of device 12).
TEST_F(DeclaredSchema, AReservationIsKeptWhereTheDeviceColumnMatchesItsMoniker) {
  const struct {
    const char* column;
    const char* stored;
    std::int64_t device;
  } schemas[] = {
      {"device TEXT COLLATE NOCASE", "m1", 9},
      {"device TEXT COLLATE RTRIM", "M1  ", 9},
      {"device NUMERIC", "0123", 12},
  };
  for (const auto& schema : schemas) {
    SCOPED_TRACE(schema.column);
    test_installation installation;
    install_configuration_network(installation, R"(
[$\Bandwidth\Satellites\1\Antennas\10\UpConverters\3\Modulators]
"0"="0123"
)",
                                  std::string("INSERT INTO managed_device_map (id, moniker) VALUES (12, '0123');"
                                              "DROP TABLE outofband_state;"
                                              "CREATE TABLE outofband_state (") +
                                      schema.column + ", state INTEGER);" +
                                      "INSERT INTO outofband_state (device, state) VALUES ('" + schema.stored +
                                      "', 1);"
                                      "INSERT INTO bandwidth_reservation (allocation_space, managed_device) VALUES (3, " +
                                      std::to_string(schema.device) + ");");
    run_result verify = installation.run({"verify"});
    EXPECT_EQ(verify.out, "");
    EXPECT_TRUE(verify.err.ends_with("No problems detected.\n")) << verify.err;
    installation.run({"repair"});
    EXPECT_EQ(installation.query("Switching.db", "SELECT allocation_space, managed_device FROM bandwidth_reservation"),
              (std::vector<std::string>{"3|" + std::to_string(schema.device)}));
  }
}

// An allocatable device that the registry no longer has, still allocated
// under a NOCASE moniker column: the problem cannot be corrected, and the
// row stays.
TEST_F(DeclaredSchema, AnAllocatableDeviceStillAllocatedUnderNocaseStays) {
  install_configuration_network(installation, "",
                                "DROP TABLE device_allocation;"
                                "CREATE TABLE device_allocation (allocation INTEGER, moniker TEXT COLLATE NOCASE);"
                                "INSERT INTO device_allocation VALUES (1, 'mx');"
                                "INSERT INTO allocatable_device VALUES (3, 'modulator', 'MX', 0, 0);");
  run_result verify = installation.run({"verify"});
  EXPECT_TRUE(verify.err.ends_with("\n" + summary(0, 1))) << verify.out << verify.err;
  installation.run({"repair"});
  EXPECT_EQ(installation.query("Switching.db", "SELECT moniker FROM allocatable_device"),
            (std::vector<std::string>{"MX"}));
}

// managed_device_map without a primary key, two rows of id 9 and an index
// on (id, moniker): "the first row" of "... WHERE id=?" is the index's,
// M1, whose allocation on its own allocation space is sound.
TEST_F(DeclaredSchema, TheFirstRowIsTheStatementsUnderAnIndex) {
  install_configuration_network(installation, "",
                                "DROP TABLE managed_device_map;"
                                "CREATE TABLE managed_device_map (id INTEGER, moniker TEXT);"
                                "CREATE INDEX managed_device_map_id ON managed_device_map (id, moniker);"
                                "INSERT INTO managed_device_map VALUES (9, 'MZ'), (9, 'M1'), (10, 'M2'), (11, 'M3');"
                                "INSERT INTO allocation (id, allocator, allocation_space) VALUES (5, 9, 3);");
  run_result verify = installation.run({"verify"});
  EXPECT_EQ(verify.out.find("allocation with the id 5"), std::string::npos) << verify.out;
  installation.run({"repair"});
  EXPECT_EQ(installation.query("Switching.db", "SELECT id, allocator FROM allocation"),
            (std::vector<std::string>{"5|9"}));
}

// A moniker with a zero character reads as the text before it ('M1'), as a
// wide string ends there: the map entry and its reservation are sound.
TEST_F(DeclaredSchema, AMonikerEndsAtItsFirstZeroCharacter) {
  install_configuration_network(installation, "",
                                "UPDATE managed_device_map SET moniker = 'M1' || char(0) || 'x' WHERE id = 9;"
                                "INSERT INTO outofband_state (device, state) VALUES ('M1', 1);"
                                "INSERT INTO bandwidth_reservation (allocation_space, managed_device) VALUES (3, 9);");
  run_result verify = installation.run({"verify"});
  EXPECT_EQ(verify.out, "");
  EXPECT_TRUE(verify.err.ends_with("No problems detected.\n")) << verify.err;
  installation.run({"repair"});
  EXPECT_EQ(installation.query("Switching.db", "SELECT allocation_space, managed_device FROM bandwidth_reservation"),
            (std::vector<std::string>{"3|9"}));
}

}  // namespace
}  // namespace netkeep::testing
