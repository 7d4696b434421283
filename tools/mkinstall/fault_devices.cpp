// Faults in the managed device map and in the allocatable devices.

#include <string>

#include "tools/mkinstall/fault_injections.h"
#include "tools/mkinstall/sql_rows.h"

namespace mkinstall::inject {
namespace {

const char* const insert_allocatable =
    "INSERT INTO allocatable_device (allocation_space, device_type, moniker, port, priority) VALUES (?, ?, ?, ?, ?)";

// The allocation space of the satellite after the device's own.
std::int64_t other_allocation_space(const network& net, const device& d) {
  const std::size_t own = static_cast<std::size_t>(net.antenna_of(d).satellite);
  return net.satellites[(own + 1) % net.satellites.size()].allocation_space;
}

// Site devices have allocations (and so rows in device_allocation); hub
// devices have none. That decides whether an allocatable row can be deleted.
void add_allocatable(fault_context& ctx, std::int64_t space, const device& d) {
  const bool modulator = d.kind == device_kind::hub_modulator || d.kind == device_kind::site_modulator;
  execute(ctx.switching_db(), insert_allocatable, space, modulator ? L"modulator" : L"demodulator", d.moniker, 2, 1);
}

}  // namespace

void duplicate_managed_device(fault_context& ctx) {
  const device& modulator = ctx.net().devices[ctx.take_site().modulator];
  execute(ctx.switching_db(), "INSERT INTO managed_device_map (id, moniker) VALUES (?, ?)", ctx.new_device_id(),
          modulator.moniker);
}

void unused_managed_device(fault_context& ctx) {
  const std::int64_t id = ctx.new_device_id();
  execute(ctx.switching_db(), "INSERT INTO managed_device_map (id, moniker) VALUES (?, ?)", id,
          std::to_wstring(id) + L"-mod-decommissioned");
}

void orphan_managed_device_in_use(fault_context& ctx) {
  const std::int64_t id = ctx.new_device_id();
  execute(ctx.switching_db(), "INSERT INTO managed_device_map (id, moniker) VALUES (?, ?)", id,
          std::to_wstring(id) + L"-demod-decommissioned");
  execute(ctx.switching_db(), "INSERT INTO managed_device_modcod_map (device_id, modcod) VALUES (?, ?)", id, 7);
}

void allocatable_device_unknown(fault_context& ctx) {
  execute(ctx.switching_db(), insert_allocatable, ctx.net().satellites.front().allocation_space, L"modulator",
          L"retired-modem-1", 1, 0);
}

void allocatable_device_unknown_in_use(fault_context& ctx) {
  const std::wstring moniker = L"retired-modem-2";
  execute(ctx.switching_db(), insert_allocatable, ctx.net().satellites.front().allocation_space, L"modulator",
          moniker, 1, 0);
  execute(ctx.switching_db(), "INSERT INTO device_allocation (allocation, moniker) VALUES (?, ?)",
          ctx.net().allocations.front().id, moniker);
}

void allocatable_device_wrong_satellite(fault_context& ctx) {
  const device& hub = ctx.take_hub_device();
  add_allocatable(ctx, other_allocation_space(ctx.net(), hub), hub);
}

void allocatable_device_wrong_satellite_in_use(fault_context& ctx) {
  const device& modulator = ctx.net().devices[ctx.take_site().modulator];
  add_allocatable(ctx, other_allocation_space(ctx.net(), modulator), modulator);
}

void allocatable_device_duplicate(fault_context& ctx) {
  const device& hub = ctx.take_hub_device();
  add_allocatable(ctx, ctx.net().satellite_of(hub).allocation_space, hub);
}

void allocatable_device_duplicate_in_use(fault_context& ctx) {
  const device& demodulator = ctx.net().devices[ctx.take_site().demodulator];
  add_allocatable(ctx, ctx.net().satellite_of(demodulator).allocation_space, demodulator);
}

}  // namespace mkinstall::inject
