#include <gtest/gtest.h>

#include "checks/database/report_test_support.h"

namespace netkeep::testing {
namespace {

using SiteInbands = report_test;

TEST_F(SiteInbands, SitesNamingMissingInbandsInInbandOrder) {
  report.site_names.append(7, {}, L"North");
  report.inband_sites.append(12, 7, L"7");  // inband 12 does not exist
  report.inband_sites.append(11, 9, L"9");  // site 9 has no name, inband 11 does not exist
  report.inband_sites.append(13, 8, L"8");  // inband 13 exists
  report.inband_sites.order();
  report.switching_db.exec("INSERT INTO inband_state (id) VALUES (13)");
  report.check_site_inbands();
  EXPECT_EQ(descriptions(), (std::vector<std::wstring>{
                                L"The site (id: 9) refers to a non existent inband (id: 11)",
                                L"The site 'North' (id: 7) refers to a non existent inband (id: 12)",
                            }));
  EXPECT_EQ(report.correctable_count(), 2);
  EXPECT_EQ(recovery_actions(), (std::vector<std::wstring>{
                                    L"Delete the inband property entry for the site with the id 9",
                                    L"Delete the inband property entry for the site with the id 7",
                                }));
}

TEST_F(SiteInbands, NoInbandPropertiesRunNoStatement) {
  report.switching_db.exec("DROP TABLE inband_state");
  EXPECT_NO_THROW(report.check_site_inbands());
  report.inband_sites.append(1, 1, L"1");
  EXPECT_THROW(report.check_site_inbands(), sqlite::error);
}

}  // namespace
}  // namespace netkeep::testing
