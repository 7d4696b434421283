#include "archive/fixed_tables.h"

#include <gtest/gtest.h>

namespace netkeep {
namespace {

TEST(FixedTables, ExcludedKeysMatchWholeTopLevelPathsIgnoringAsciiCase) {
  for (table_mode mode : {table_mode::export_mode, table_mode::reset_mode}) {
    EXPECT_TRUE(is_excluded_key(L"System", mode));
    EXPECT_TRUE(is_excluded_key(L"sYSTEM", mode));
    EXPECT_TRUE(is_excluded_key(L"WEBSERVICES", mode));
    EXPECT_FALSE(is_excluded_key(L"Network\\System", mode));
    EXPECT_FALSE(is_excluded_key(L"System\\Sub", mode));
    EXPECT_FALSE(is_excluded_key(L"Systems", mode));
    EXPECT_FALSE(is_excluded_key(L"", mode));
  }
}

TEST(FixedTables, PreservedValuesDependOnTheMode) {
  EXPECT_TRUE(is_preserved_value(L"", L"PATH", table_mode::export_mode));
  EXPECT_FALSE(is_preserved_value(L"", L"version", table_mode::export_mode));
  EXPECT_TRUE(is_preserved_value(L"", L"Version", table_mode::reset_mode));
  EXPECT_TRUE(is_preserved_value(L"kat", L"localaddress", table_mode::export_mode));
  EXPECT_TRUE(is_preserved_value(L"KAT", L"LocalAddress", table_mode::reset_mode));
  EXPECT_FALSE(is_preserved_value(L"KAT", L"path", table_mode::reset_mode));
  EXPECT_FALSE(is_preserved_value(L"Other\\KAT", L"LocalAddress", table_mode::reset_mode));
  EXPECT_FALSE(is_preserved_value(L"KAT", L"", table_mode::reset_mode));

  EXPECT_TRUE(has_preserved_values(L"", table_mode::reset_mode));
  EXPECT_TRUE(has_preserved_values(L"Kat", table_mode::reset_mode));
  EXPECT_FALSE(has_preserved_values(L"KAT\\Sub", table_mode::reset_mode));
  EXPECT_FALSE(has_preserved_values(L"Network", table_mode::reset_mode));
}

}  // namespace
}  // namespace netkeep
