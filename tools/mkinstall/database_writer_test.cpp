#include "tools/mkinstall/database_writer.h"

#include <gtest/gtest.h>

#include "platform/sqlite/product_schema.h"

namespace mkinstall {
namespace {

TEST(MkinstallDatabases, BareTablesLoseTheirKeysButKeepEveryColumn) {
  EXPECT_EQ(bare_table_definition("CREATE TABLE site_data (id INTEGER PRIMARY KEY, site_name TEXT)"),
            "CREATE TABLE site_data (id INTEGER, site_name TEXT)");
  EXPECT_EQ(bare_table_definition("CREATE TABLE inband_channel (inband INTEGER NOT NULL, number INTEGER NOT NULL, "
                                  "device TEXT, PRIMARY KEY (inband, number))"),
            "CREATE TABLE inband_channel (inband INTEGER NOT NULL, number INTEGER NOT NULL, device TEXT)");
  for (const netkeep::product::table& t : netkeep::product::tables()) {
    EXPECT_EQ(bare_table_definition(t.definition).find("PRIMARY KEY"), std::string::npos) << t.name;
  }
}

}  // namespace
}  // namespace mkinstall
