#include "tests/support/wine_prefix.h"

#include <gtest/gtest.h>

namespace netkeep::testing::wine {
namespace {

TEST(DrivePath, BelowDriveCIsOnDriveCAndElsewhereOnDriveZ) {
  const std::filesystem::path drive_c = "/tmp/prefix.e2e-0/drive_c";
  EXPECT_EQ(drive_path("/tmp/prefix.e2e-0/drive_c/netkeep-test-1-2/install", drive_c), "C:\\netkeep-test-1-2\\install");
  EXPECT_EQ(drive_path("/tmp/prefix.e2e-0/drive_c", drive_c), "C:\\");
  EXPECT_EQ(drive_path("/tmp/prefix.e2e-0/drive_c/a/../b.nka", drive_c), "C:\\b.nka");
  // A sibling whose name only starts like drive_c is not below it.
  EXPECT_EQ(drive_path("/tmp/prefix.e2e-0/drive_cd/x", drive_c), "Z:\\tmp\\prefix.e2e-0\\drive_cd\\x");
  EXPECT_EQ(drive_path("/tmp/other/archive.nka", drive_c), "Z:\\tmp\\other\\archive.nka");
}

}  // namespace
}  // namespace netkeep::testing::wine
