#include "tools/mkinstall/network.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace mkinstall {
namespace {

TEST(MkinstallNetwork, SizesGrowWithTheSites) {
  for (std::int64_t sites : {1, 1000, 100000}) {
    const network net = build_network(sites, 1);
    EXPECT_EQ(static_cast<std::int64_t>(net.sites.size()), sites);
    EXPECT_EQ(net.satellites.size(), static_cast<std::size_t>(satellite_count(sites)));
    EXPECT_EQ(net.antennas.size(), net.satellites.size() * static_cast<std::size_t>(antennas_per_satellite(sites)));
    // Two devices per site besides the hub pools, one allocation each.
    EXPECT_GT(net.devices.size(), net.sites.size() * 2);
    EXPECT_EQ(net.allocations.size(), net.sites.size() * 2);
  }
  EXPECT_LT(satellite_count(100000), 10);
  EXPECT_LT(satellite_count(1000), satellite_count(100000));
}

TEST(MkinstallNetwork, EverySiteSitsOnOneAntennaWithItsHomeDevices) {
  const network net = build_network(700, 5);
  std::set<std::int64_t> inbands;
  std::set<std::wstring> monikers;
  for (const device& d : net.devices) {
    EXPECT_TRUE(monikers.insert(d.moniker).second) << "moniker used twice";
    // Monikers begin with the device id, as the inband channel check reads them.
    EXPECT_EQ(d.moniker.rfind(std::to_wstring(d.id) + L"-", 0), 0u);
  }
  for (std::size_t i = 0; i < net.sites.size(); ++i) {
    const site& s = net.sites[i];
    EXPECT_TRUE(inbands.insert(s.inband).second);
    for (int d : {s.modulator, s.demodulator, s.home_modulator, s.home_demodulator}) {
      EXPECT_EQ(net.converters[net.devices[d].converter].antenna, s.antenna);
    }
    EXPECT_EQ(net.devices[s.modulator].site, static_cast<int>(i));
    EXPECT_TRUE(net.converters[net.devices[s.modulator].converter].up);
    EXPECT_FALSE(net.converters[net.devices[s.demodulator].converter].up);
    EXPECT_LT(net.devices[s.home_modulator].site, 0);
  }
  // Ids of managed devices count up from 1, hub devices first.
  for (std::size_t i = 0; i < net.devices.size(); ++i) EXPECT_EQ(net.devices[i].id, static_cast<std::int64_t>(i) + 1);
}

TEST(MkinstallNetwork, AllocationChainsLinkBothWaysWithinOneSpace) {
  const network net = build_network(300, 9);
  std::map<std::int64_t, const allocation*> by_id;
  for (const allocation& a : net.allocations) by_id[a.id] = &a;
  std::size_t heads = 0;
  for (const allocation& a : net.allocations) {
    EXPECT_EQ(a.allocation_space, net.satellite_of(net.devices[a.device]).allocation_space);
    if (a.past == 0) ++heads;
    if (a.future != 0) {
      const allocation& next = *by_id.at(a.future);
      EXPECT_EQ(next.past, a.id);
      EXPECT_EQ(next.allocation_space, a.allocation_space);
    }
  }
  // Chains of up to eight allocations.
  EXPECT_GE(heads * 8, net.allocations.size());
  EXPECT_EQ(&net.allocation_of(net.sites[17].demodulator), by_id.at(net.allocation_of(net.sites[17].demodulator).id));
  EXPECT_THROW(net.allocation_of(0), std::out_of_range);  // a hub device
}

TEST(MkinstallNetwork, TheSeedDecidesNamesAndSizesOnly) {
  const network a = build_network(50, 1);
  const network b = build_network(50, 1);
  const network c = build_network(50, 2);
  std::vector<std::wstring> names_a, names_b, names_c;
  for (std::size_t i = 0; i < a.sites.size(); ++i) {
    names_a.push_back(a.sites[i].name);
    names_b.push_back(b.sites[i].name);
    names_c.push_back(c.sites[i].name);
  }
  EXPECT_EQ(names_a, names_b);
  EXPECT_NE(names_a, names_c);
  EXPECT_EQ(a.devices.size(), c.devices.size());
}

}  // namespace
}  // namespace mkinstall
