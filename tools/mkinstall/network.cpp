#include "tools/mkinstall/network.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

#include "tools/mkinstall/random.h"

namespace mkinstall {
namespace {

// Devices per converter key; a converter holds hub devices and site devices.
constexpr std::size_t devices_per_converter = 32;
// Length of the allocation chains.
constexpr std::size_t chain_length = 8;

const std::vector<std::wstring> satellite_names = {
    L"Altair", L"Vega", L"Deneb", L"Rigel", L"Sirius", L"Capella", L"Procyon", L"Arcturus", L"Antares",
    L"Polaris", L"Canopus", L"Mimosa"};

const std::vector<std::wstring> site_prefixes = {
    L"North", L"South", L"East", L"West", L"Port", L"Cape", L"Mount", L"Lake", L"Fort", L"Glen", L"Red", L"Stone",
    L"Silver", L"Green", L"High", L"Old", L"New", L"Black", L"White", L"Long"};
const std::vector<std::wstring> site_suffixes = {
    L"haven", L"field", L"ridge", L"ford", L"wick", L"mere", L"brook", L"gate", L"moor", L"cliff", L"vale",
    L"bay", L"point", L"hill", L"marsh", L"wood"};

std::int64_t power_of_ten_above(std::int64_t value) {
  std::int64_t power = 1000;
  while (power < value) power *= 10;
  return power;
}

// Adds a device to the antenna's converters of its direction, opening a new
// converter when the last one is full.
int add_device(network& net, int antenna_index, device_kind kind, int site_index, std::int64_t& next_converter_id) {
  const bool up = kind == device_kind::hub_modulator || kind == device_kind::site_modulator;
  antenna& a = net.antennas[antenna_index];
  std::vector<int>& converters = up ? a.up_converters : a.down_converters;
  if (converters.empty() || net.converters[converters.back()].devices.size() == devices_per_converter) {
    converters.push_back(static_cast<int>(net.converters.size()));
    net.converters.push_back({next_converter_id++, antenna_index, up, {}});
  }
  const int device_index = static_cast<int>(net.devices.size());
  net.converters[converters.back()].devices.push_back(device_index);
  net.devices.push_back({0, L"", kind, converters.back(), site_index});
  return device_index;
}

std::wstring moniker_of(const network& net, const device& d) {
  const std::wstring id = std::to_wstring(d.id);
  switch (d.kind) {
    case device_kind::hub_modulator:
      return id + L"-hubmod-a" + std::to_wstring(net.antenna_of(d).id);
    case device_kind::hub_demodulator:
      return id + L"-hubdemod-a" + std::to_wstring(net.antenna_of(d).id);
    case device_kind::site_modulator:
      return id + L"-mod-s" + std::to_wstring(net.sites[d.site].id);
    case device_kind::site_demodulator:
      return id + L"-demod-s" + std::to_wstring(net.sites[d.site].id);
  }
  return id;
}

void build_allocations(network& net, random& rng) {
  net.allocation_by_device.assign(net.devices.size(), -1);
  std::int64_t next_id = 1;
  for (const satellite& sat : net.satellites) {
    std::vector<int> allocators;
    for (const site& s : net.sites) {
      if (&net.satellite_of(s) != &sat) continue;
      allocators.push_back(s.modulator);
      allocators.push_back(s.demodulator);
    }
    std::int64_t frequency = 10'950'000'000;
    for (std::size_t i = 0; i < allocators.size(); ++i) {
      const bool head = i % chain_length == 0;
      const bool tail = i % chain_length == chain_length - 1 || i + 1 == allocators.size();
      const std::int64_t id = next_id++;
      const std::int64_t bandwidth = rng.between(1, 16) * 125'000;
      net.allocation_by_device[allocators[i]] = static_cast<int>(net.allocations.size());
      net.allocations.push_back(
          {id, allocators[i], sat.allocation_space, head ? 0 : id - 1, tail ? 0 : id + 1, frequency, bandwidth});
      frequency += bandwidth;
    }
  }
}

}  // namespace

int satellite_count(std::int64_t sites) {
  return 2 + static_cast<int>(std::bit_width(static_cast<std::uint64_t>(sites))) / 4;
}

int antennas_per_satellite(std::int64_t sites) {
  return std::min(9, 2 + static_cast<int>(std::bit_width(static_cast<std::uint64_t>(sites))) / 6);
}

const allocation& network::allocation_of(int device_index) const {
  const int index = allocation_by_device.at(static_cast<std::size_t>(device_index));
  if (index < 0) throw std::out_of_range("hub devices have no allocation");
  return allocations[static_cast<std::size_t>(index)];
}

std::int64_t network::max_allocation_id() const {
  std::int64_t result = 0;
  for (const allocation& a : allocations) result = std::max(result, a.id);
  return result;
}

network build_network(std::int64_t site_count, std::uint64_t seed) {
  if (site_count < 1) throw std::invalid_argument("a network needs at least one site");
  random rng(seed);
  network net;

  const int satellites = satellite_count(site_count);
  const int per_satellite = antennas_per_satellite(site_count);
  for (int i = 0; i < satellites; ++i) {
    const std::int64_t id = i + 1;
    std::wstring name = satellite_names[static_cast<std::size_t>(i) % satellite_names.size()];
    name += L" " + std::to_wstring(i / static_cast<int>(satellite_names.size()) + 1) + static_cast<wchar_t>(L'A' + i % 3);
    net.satellites.push_back({id, name, 100 + id, rng.between(36, 72) * 1'000'000, {}});
    for (int k = 0; k < per_satellite; ++k) {
      net.satellites.back().antennas.push_back(static_cast<int>(net.antennas.size()));
      net.antennas.push_back(
          {10 * id + k + 1, name + L" hub " + static_cast<wchar_t>(L'A' + k), i, {}, {}, {}, {}, {}});
    }
  }

  // Sites go round the antennas, so that every satellite serves its share.
  const std::int64_t inband_base = power_of_ten_above(10 * site_count);
  const auto antenna_count = static_cast<std::int64_t>(net.antennas.size());
  net.sites.reserve(static_cast<std::size_t>(site_count));
  for (std::int64_t s = 0; s < site_count; ++s) {
    const std::int64_t id = s + 1;
    const std::wstring name = rng.pick(site_prefixes) + rng.pick(site_suffixes);
    const int antenna_index = static_cast<int>(s % antenna_count);
    net.sites.push_back({id, name, inband_base + id, antenna_index, -1, -1, -1, -1});
    net.antennas[antenna_index].sites.push_back(static_cast<int>(s));
  }

  // Hub devices first (their ids come first, as they were commissioned
  // first), then the sites' devices.
  std::int64_t next_converter_id = 1;
  for (int a = 0; a < static_cast<int>(net.antennas.size()); ++a) {
    const std::size_t pool = 2 + net.antennas[a].sites.size() / 256;
    for (std::size_t i = 0; i < pool; ++i) {
      net.antennas[a].hub_modulators.push_back(add_device(net, a, device_kind::hub_modulator, -1, next_converter_id));
    }
    for (std::size_t i = 0; i < pool; ++i) {
      net.antennas[a].hub_demodulators.push_back(
          add_device(net, a, device_kind::hub_demodulator, -1, next_converter_id));
    }
  }
  for (int s = 0; s < static_cast<int>(net.sites.size()); ++s) {
    site& st = net.sites[s];
    const antenna& a = net.antennas[st.antenna];
    const std::size_t slot = static_cast<std::size_t>(s) / net.antennas.size();
    st.modulator = add_device(net, st.antenna, device_kind::site_modulator, s, next_converter_id);
    st.demodulator = add_device(net, st.antenna, device_kind::site_demodulator, s, next_converter_id);
    st.home_modulator = a.hub_modulators[slot % a.hub_modulators.size()];
    st.home_demodulator = a.hub_demodulators[slot % a.hub_demodulators.size()];
  }
  for (std::size_t i = 0; i < net.devices.size(); ++i) {
    net.devices[i].id = static_cast<std::int64_t>(i) + 1;
    net.devices[i].moniker = moniker_of(net, net.devices[i]);
  }

  build_allocations(net, rng);
  return net;
}

}  // namespace mkinstall
