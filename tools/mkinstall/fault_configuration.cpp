// Faults in the registry's network configuration (and the site whose inband
// property outlived its inband).

#include <string>

#include "platform/text/unicode.h"
#include "tools/mkinstall/fault_injections.h"
#include "tools/mkinstall/product_constants.h"
#include "tools/mkinstall/registry_writer.h"
#include "tools/mkinstall/sql_rows.h"

namespace mkinstall::inject {
namespace {

namespace registry = win32::registry;

std::wstring antenna_key_path(const network& net, const antenna& a) {
  return satellite_key_path(net.satellites[a.satellite].id) + L"\\Antennas\\" + std::to_wstring(a.id);
}

std::wstring converter_devices_path(const network& net, const converter& c) {
  return antenna_key_path(net, net.antennas[c.antenna]) + (c.up ? L"\\UpConverters\\" : L"\\DownConverters\\") +
         std::to_wstring(c.id) + (c.up ? L"\\Modulators" : L"\\Demodulators");
}

// A satellite added by a fault, with its name; returns its key.
registry::key_handle add_satellite(fault_context& ctx, const std::wstring& name) {
  registry::key_handle key = registry::create_key(ctx.registry(), satellite_key_path(ctx.new_satellite_id()));
  set_text(key.get(), L"Name", name);
  return key;
}

registry::key_handle add_allocation_space_key(registry::raw_key satellite_key) {
  return registry::create_key(satellite_key, std::wstring(L"Properties\\") + allocation_space_property_key);
}

// Another antenna of the same satellite.
const antenna& sibling_antenna(const network& net, const antenna& a) {
  for (int index : net.satellites[a.satellite].antennas) {
    if (net.antennas[index].id != a.id) return net.antennas[index];
  }
  return a;
}

}  // namespace

void satellite_without_allocation_space(fault_context& ctx) {
  registry::key_handle sat = add_satellite(ctx, L"Horizon 3A");
  registry::create_key(sat.get(), L"Antennas");
}

void allocation_space_id_wrong_type(fault_context& ctx) {
  registry::key_handle sat = add_satellite(ctx, L"Horizon 4B");
  set_dword(add_allocation_space_key(sat.get()).get(), L"Id", 131);
}

void allocation_space_id_illegal_characters(fault_context& ctx) {
  registry::key_handle sat = add_satellite(ctx, L"Horizon 5C");
  set_text(add_allocation_space_key(sat.get()).get(), L"Id", L"1O7");
}

void allocation_space_id_unreadable(fault_context& ctx) {
  registry::key_handle sat = add_satellite(ctx, L"Horizon 6A");
  add_allocation_space_key(sat.get());
}

void corrupt_device_moniker(fault_context& ctx) {
  const network& net = ctx.net();
  const converter& c = net.converters[net.antennas.back().up_converters.front()];
  registry::key_handle devices = registry::create_key(ctx.registry(), converter_devices_path(net, c));
  std::string data = netkeep::text::to_utf16le(L"retired-modem");
  data.append(6, '\0');  // the string's terminator and the list's
  registry::set_value(devices.get(), L"Spare1", registry::reg_multi_sz, data.data(),
                      static_cast<std::uint32_t>(data.size()));
}

void antenna_on_several_satellites(fault_context& ctx) {
  // The antenna of the last site, so that its inband home states are clean
  // and name its satellite.
  const network& net = ctx.net();
  const antenna& a = net.antennas[net.sites.back().antenna];
  const satellite& other = net.satellites[(a.satellite + 1) % net.satellites.size()];
  registry::key_handle copy = registry::create_key(
      ctx.registry(), satellite_key_path(other.id) + L"\\Antennas\\" + std::to_wstring(a.id));
  set_text(copy.get(), L"Name", a.name + L" (old)");
}

void antenna_on_several_satellites_no_home(fault_context& ctx) {
  const network& net = ctx.net();
  const std::int64_t id = ctx.new_antenna_id();
  for (int i = 0; i < 2; ++i) {
    registry::key_handle key = registry::create_key(
        ctx.registry(), satellite_key_path(net.satellites[i].id) + L"\\Antennas\\" + std::to_wstring(id));
    set_text(key.get(), L"Name", L"Spare dish " + std::to_wstring(id));
  }
}

void device_on_several_rf_chains(fault_context& ctx) {
  const network& net = ctx.net();
  const device& demodulator = net.devices[ctx.take_site().demodulator];
  // Listed again under another antenna of the same satellite, so that the
  // device keeps its allocation space.
  const antenna& other = sibling_antenna(net, net.antenna_of(demodulator));
  const converter& c = net.converters[other.down_converters.front()];
  registry::key_handle devices = registry::create_key(ctx.registry(), converter_devices_path(net, c));
  set_text(devices.get(), L"Moved1", demodulator.moniker);
}

void site_without_inband(fault_context& ctx) {
  const std::int64_t site = ctx.new_site_id();
  const std::int64_t inband = ctx.new_inband_id();
  execute(ctx.network_db(), "INSERT INTO site_data (id, site_name) VALUES (?, ?)", site, L"Decommissioned Eastmoor");
  execute(ctx.network_db(), "INSERT INTO property (id, property_name, property_value) VALUES (?, ?, ?)", site,
          blob{inband_property_guid()}, blob{inband_property_value(inband)});
  registry::key_handle key = registry::create_key(ctx.registry(), inband_property_path(site));
  set_text(key.get(), L"Id", std::to_wstring(inband));
}

}  // namespace mkinstall::inject
