#include <gtest/gtest.h>

#include "report/integrity_report.h"

namespace netkeep {
namespace {

TEST(Labels, SatellitesByNameOrNumber) {
  integrity_report report{text_sink{}};
  report.satellite_names[4] = L"Sat-A";
  EXPECT_EQ(report.satellite_label(4), L"Sat-A");
  EXPECT_EQ(report.satellite_label(-3), L"-3");
}

TEST(Labels, AnAntennaUnderSeveralSatellitesShowsEveryName) {
  integrity_report report{text_sink{}};
  EXPECT_EQ(report.antenna_label(9), L"9");
  report.antenna_names.emplace(9, L"East");
  EXPECT_EQ(report.antenna_label(9), L"East");
  report.antenna_names.emplace(9, L"East-2");
  report.antenna_names.emplace(9, L"");
  EXPECT_EQ(report.antenna_label(9), L"East aka East-2 aka ");
}

}  // namespace
}  // namespace netkeep
