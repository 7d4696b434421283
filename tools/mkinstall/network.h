#pragma once
// The consistent network that a generated installation describes: the
// registry's satellites, antennas, converters and devices, and the sites,
// inbands and allocations that the databases hold about them. Everything is
// derived from the number of sites and the seed; the writers turn it into
// registry keys and database rows, and the faults pick their victims in it.
//
// Shape: a few satellites (growing slowly with the sites), each with one
// allocation space and a few hub antennas; every antenna has a pool of hub
// modulators and demodulators (the home devices of the inbands) and serves
// its share of the sites. Every site has a modulator and a demodulator on an
// up- and a down-converter of its antenna, an inband whose four channel
// devices are those two and two hub devices of the same antenna, and one
// allocation per device on its satellite's allocation space. Allocations of
// one allocation space form chains of up to eight through past and future.

#include <cstdint>
#include <string>
#include <vector>

namespace mkinstall {

enum class device_kind { hub_modulator, hub_demodulator, site_modulator, site_demodulator };

struct device {
  std::int64_t id;       // managed device id
  // Begins with the id in decimal and a dash: netkeep's inband channel check
  // reads the channel's device column as a number, which then is the id.
  std::wstring moniker;
  device_kind kind;
  int converter;         // index into network::converters
  int site;              // index into network::sites; -1 for hub devices
};

struct converter {
  std::int64_t id;
  int antenna;               // index into network::antennas
  bool up;                   // up-converter (modulators) or down-converter (demodulators)
  std::vector<int> devices;  // indexes into network::devices
};

struct antenna {
  std::int64_t id;
  std::wstring name;
  int satellite;  // index into network::satellites
  std::vector<int> up_converters;
  std::vector<int> down_converters;
  std::vector<int> hub_modulators;    // device indexes
  std::vector<int> hub_demodulators;  // device indexes
  std::vector<int> sites;             // site indexes, ascending
};

struct satellite {
  std::int64_t id;
  std::wstring name;
  std::int64_t allocation_space;
  std::int64_t bandwidth;  // of its allocation space, in Hz
  std::vector<int> antennas;
};

struct site {
  std::int64_t id;
  std::wstring name;
  std::int64_t inband;
  int antenna;
  int modulator;         // the site's own devices
  int demodulator;
  int home_modulator;    // hub devices of the same antenna
  int home_demodulator;
};

struct allocation {
  std::int64_t id;
  int device;  // the allocator
  std::int64_t allocation_space;
  std::int64_t past;    // neighbours in the chain, 0 for none
  std::int64_t future;
  std::int64_t start_frequency;
  std::int64_t bandwidth;
};

struct network {
  std::vector<satellite> satellites;
  std::vector<antenna> antennas;
  std::vector<converter> converters;
  std::vector<device> devices;        // hub devices first, then the sites' devices
  std::vector<site> sites;
  std::vector<allocation> allocations;  // grouped by allocation space, in chain order
  std::vector<int> allocation_by_device;  // index into allocations, -1 for hub devices

  const antenna& antenna_of(const device& d) const { return antennas[converters[d.converter].antenna]; }
  const satellite& satellite_of(const device& d) const { return satellites[antenna_of(d).satellite]; }
  const satellite& satellite_of(const site& s) const { return satellites[antennas[s.antenna].satellite]; }
  // The allocation of a site device; throws std::out_of_range for a hub device.
  const allocation& allocation_of(int device_index) const;
  // The largest id in use of each kind, so that faults can add new ones.
  std::int64_t max_device_id() const { return devices.empty() ? 0 : devices.back().id; }
  std::int64_t max_allocation_id() const;
  std::int64_t max_site_id() const { return sites.empty() ? 0 : sites.back().id; }
  std::int64_t max_inband_id() const { return sites.empty() ? 0 : sites.back().inband; }
};

// Number of satellites and of antennas per satellite for a number of sites.
int satellite_count(std::int64_t sites);
int antennas_per_satellite(std::int64_t sites);

// The network of `sites` sites (at least 1) for a seed.
network build_network(std::int64_t sites, std::uint64_t seed);

}  // namespace mkinstall
