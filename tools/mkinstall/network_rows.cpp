// The rows of a consistent installation: every table that verification reads
// (and the ones it only counts) holds data about the network, and nothing in
// them contradicts the registry configuration.

#include <string>

#include "tools/mkinstall/database_writer.h"
#include "tools/mkinstall/random.h"
#include "tools/mkinstall/product_constants.h"
#include "tools/mkinstall/sql_rows.h"

namespace mkinstall {
namespace {

// Streams of random values, one per database, so that a change to one table
// does not shift the values of the others.
constexpr std::uint64_t network_stream = 0x4e6574776f726b31;
constexpr std::uint64_t switching_stream = 0x5377697463683231;
constexpr std::uint64_t redundancy_stream = 0x5265646e64743331;

const std::wstring no_device = L"(none)";

bool is_modulator(const device& d) {
  return d.kind == device_kind::hub_modulator || d.kind == device_kind::site_modulator;
}

void write_network_db(sqlite::database& db, const network& net, random& rng) {
  row_writer site_data(db, "INSERT INTO site_data (id, site_name) VALUES (?, ?)");
  row_writer property(db, "INSERT INTO property (id, property_name, property_value) VALUES (?, ?, ?)");
  for (const site& s : net.sites) {
    site_data(s.id, s.name);
    // Property rows are keyed by (site, property GUID); the inband property
    // mirrors the registry's inband key of the site.
    property(s.id, blob{inband_property_guid()}, blob{inband_property_value(s.inband)});
    for (const std::string& guid : other_property_guids()) {
      property(s.id, blob{guid}, blob{rng.bytes(static_cast<std::size_t>(rng.between(8, 48)))});
    }
  }
}

void write_devices(sqlite::database& db, const network& net, random& rng) {
  row_writer map(db, "INSERT INTO managed_device_map (id, moniker) VALUES (?, ?)");
  row_writer modcods(db, "INSERT INTO managed_device_modcod_map (device_id, modcod) VALUES (?, ?)");
  row_writer allocatable(db,
                         "INSERT INTO allocatable_device (allocation_space, device_type, moniker, port, priority) "
                         "VALUES (?, ?, ?, ?, ?)");
  row_writer outofband(db, "INSERT INTO outofband_state (device, state) VALUES (?, ?)");
  for (const device& d : net.devices) {
    map(d.id, d.moniker);
    const std::int64_t count = rng.between(3, 6);
    for (std::int64_t modcod = rng.between(1, 20), i = 0; i < count; ++i) modcods(d.id, modcod + i);
    allocatable(net.satellite_of(d).allocation_space, is_modulator(d) ? L"modulator" : L"demodulator", d.moniker,
                rng.between(1, 4), rng.between(0, 9));
    // Hub devices are managed out of band; the sites' devices through their
    // inbands.
    if (d.site < 0) outofband(d.moniker, rng.between(1, 3));
  }
}

void write_inbands(sqlite::database& db, const network& net, random& rng) {
  row_writer state(db, "INSERT INTO inband_state (id, state) VALUES (?, ?)");
  row_writer channel(db, "INSERT INTO inband_channel (inband, number, device, home_device) VALUES (?, ?, ?, ?)");
  for (const site& s : net.sites) {
    state(s.inband, rng.chance(19, 20) ? 1 : 2);
    channel(s.inband, 0, net.devices[s.modulator].moniker, net.devices[s.home_demodulator].moniker);
    channel(s.inband, 1, net.devices[s.demodulator].moniker, net.devices[s.home_modulator].moniker);
  }
}

void write_allocations(sqlite::database& db, const network& net) {
  row_writer spaces(db, "INSERT INTO allocation_space (id, bandwidth) VALUES (?, ?)");
  for (const satellite& sat : net.satellites) spaces(sat.allocation_space, sat.bandwidth);

  row_writer allocations(db,
                         "INSERT INTO allocation (id, allocator, allocation_space, past, future, start_frequency, "
                         "bandwidth) VALUES (?, ?, ?, ?, ?, ?, ?)");
  row_writer device_allocation(db, "INSERT INTO device_allocation (allocation, moniker) VALUES (?, ?)");
  for (const allocation& a : net.allocations) {
    const device& allocator = net.devices[a.device];
    allocations(a.id, allocator.id, a.allocation_space, a.past, a.future, a.start_frequency, a.bandwidth);
    device_allocation(a.id, allocator.moniker);
  }
}

// Preallocations, reservations and their bookkeeping. Every reserved device
// is in use: a site's devices by its inband, a hub device by its out-of-band
// state.
void write_reservations(sqlite::database& db, const network& net, random& rng) {
  row_writer preallocation(db, "INSERT INTO preallocation (allocator, allocation_space, bandwidth) VALUES (?, ?, ?)");
  row_writer reservation(db,
                         "INSERT INTO bandwidth_reservation (allocation_space, managed_device, bandwidth) "
                         "VALUES (?, ?, ?)");
  row_writer status(db, "INSERT INTO reservation_status (managed_device, status) VALUES (?, ?)");
  row_writer device_preallocation(db, "INSERT INTO device_preallocation (allocator, bandwidth) VALUES (?, ?)");

  for (const device& d : net.devices) {
    if (d.kind == device_kind::site_demodulator && d.site % 4 != 0) continue;
    const std::int64_t space = net.satellite_of(d).allocation_space;
    const std::int64_t bandwidth = rng.between(1, 32) * 62'500;
    preallocation(d.id, space, bandwidth);
    if (d.kind == device_kind::site_demodulator) continue;
    reservation(space, d.id, bandwidth);
    // Some devices hold a second reservation, stored next to the first.
    if (d.site % 5 == 0) reservation(space, d.id, rng.between(1, 8) * 62'500);
    status(d.id, rng.between(0, 2));
    if (d.kind == device_kind::site_modulator) device_preallocation(d.id, bandwidth);
  }
}

void write_recovery_and_schedules(sqlite::database& db, const network& net, random& rng) {
  row_writer unrecovered_device(db, "INSERT INTO unrecovered_device (device_moniker, managed_device) VALUES (?, ?)");
  row_writer unrecovered_resources(
      db, "INSERT INTO unrecovered_resources (managed_device, allocation_space, amount) VALUES (?, ?, ?)");
  row_writer unrecovered_slot(db, "INSERT INTO unrecovered_slot (managed_device, slot) VALUES (?, ?)");
  row_writer scheduled(db,
                       "INSERT INTO scheduled_channel_reservation (id, allocator_id, start_time) VALUES (?, ?, ?)");
  row_writer scheduled_device(
      db, "INSERT INTO scheduled_channel_device_reservation (reservation, device_id) VALUES (?, ?)");

  // A fixed start for the schedules (2024-01-01T00:00:00Z), never the clock.
  const std::int64_t schedule_start = 1'704'067'200;
  std::int64_t next_reservation = 1;
  for (std::size_t i = 0; i < net.sites.size(); ++i) {
    const site& s = net.sites[i];
    const device& modulator = net.devices[s.modulator];
    const device& demodulator = net.devices[s.demodulator];
    const std::int64_t space = net.satellite_of(s).allocation_space;
    if (i % 40 == 7) unrecovered_device(demodulator.moniker, demodulator.id);
    if (i % 20 == 3) unrecovered_resources(modulator.id, space, rng.between(1, 16) * 125'000);
    if (i % 50 == 11) unrecovered_slot(modulator.id, rng.between(1, 64));
    if (i % 4 == 1) {
      const std::int64_t id = next_reservation++;
      scheduled(id, modulator.id, schedule_start + rng.between(0, 24 * 365) * 3600);
      scheduled_device(id, modulator.id);
      scheduled_device(id, demodulator.id);
    }
  }
}

// One redundancy group per site: the primary slot holds the modulator,
// logically linked to the demodulator; the backup slot holds the
// demodulator without a link. Every site device has a stored configuration.
void write_redundancy_db(sqlite::database& db, const network& net, random& rng) {
  row_writer slot(db, "INSERT INTO slot (id, [group], role) VALUES (?, ?, ?)");
  row_writer binding(db,
                     "INSERT INTO [slot.device_binding] ([group], [slot], [device], [logical_link]) "
                     "VALUES (?, ?, ?, ?)");
  row_writer configuration(db, "INSERT INTO device_configuration (device, configuration) VALUES (?, ?)");
  for (const site& s : net.sites) {
    const std::int64_t primary = 2 * s.id - 1;
    const std::int64_t backup = 2 * s.id;
    const device& modulator = net.devices[s.modulator];
    const device& demodulator = net.devices[s.demodulator];
    slot(primary, s.id, primary_role);
    slot(backup, s.id, backup_role);
    binding(s.id, primary, modulator.moniker, demodulator.moniker);
    binding(s.id, backup, demodulator.moniker, s.id % 2 == 0 ? no_device : std::wstring());
    configuration(modulator.moniker, blob{rng.bytes(static_cast<std::size_t>(rng.between(32, 96)))});
    configuration(demodulator.moniker, blob{rng.bytes(static_cast<std::size_t>(rng.between(32, 96)))});
  }
}

}  // namespace

void installation_databases::write(const network& net, std::uint64_t seed) {
  random network_rng(seed ^ network_stream);
  write_network_db(network_, net, network_rng);

  random switching_rng(seed ^ switching_stream);
  write_devices(switching_, net, switching_rng);
  write_inbands(switching_, net, switching_rng);
  write_allocations(switching_, net);
  write_reservations(switching_, net, switching_rng);
  write_recovery_and_schedules(switching_, net, switching_rng);

  random redundancy_rng(seed ^ redundancy_stream);
  write_redundancy_db(redundancy_, net, redundancy_rng);
}

}  // namespace mkinstall
