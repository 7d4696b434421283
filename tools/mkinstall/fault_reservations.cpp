// Faults in the preallocations, the bandwidth reservations and the
// unrecovered resources.

#include <string>

#include "tools/mkinstall/fault_injections.h"
#include "tools/mkinstall/sql_rows.h"

namespace mkinstall::inject {
namespace {

// The allocation space of the satellite after the site's own.
std::int64_t other_allocation_space(const network& net, const site& s) {
  const std::size_t own = static_cast<std::size_t>(net.antennas[s.antenna].satellite);
  return net.satellites[(own + 1) % net.satellites.size()].allocation_space;
}

}  // namespace

void preallocation_space_gone(fault_context& ctx) {
  const site& victim = ctx.take_site();
  execute(ctx.switching_db(), "INSERT INTO preallocation (allocator, allocation_space, bandwidth) VALUES (?, ?, ?)",
          ctx.net().devices[victim.modulator].id, ctx.new_allocation_space_id(), 500'000);
}

void preallocation_wrong_space(fault_context& ctx) {
  const site& victim = ctx.take_site();
  execute(ctx.switching_db(), "INSERT INTO preallocation (allocator, allocation_space, bandwidth) VALUES (?, ?, ?)",
          ctx.net().devices[victim.modulator].id, other_allocation_space(ctx.net(), victim), 500'000);
}

void reservation_unknown_device(fault_context& ctx) {
  execute(ctx.switching_db(),
          "INSERT INTO bandwidth_reservation (allocation_space, managed_device, bandwidth) VALUES (?, ?, ?)",
          ctx.net().satellites.front().allocation_space, ctx.new_device_id(), 750'000);
}

void reservation_invalid_device(fault_context& ctx) {
  // A hub device is reserved because it is managed out of band; without its
  // out-of-band state it is no longer in use.
  execute(ctx.switching_db(), "DELETE FROM outofband_state WHERE device = ?", ctx.take_hub_device().moniker);
}

void unrecovered_resources_without_device(fault_context& ctx) {
  execute(ctx.switching_db(),
          "INSERT INTO unrecovered_resources (managed_device, allocation_space, amount) VALUES (?, ?, ?)",
          ctx.new_device_id(), ctx.net().satellites.front().allocation_space, 125'000);
}

void unrecovered_resources_wrong_space(fault_context& ctx) {
  const site& victim = ctx.take_site();
  execute(ctx.switching_db(),
          "INSERT INTO unrecovered_resources (managed_device, allocation_space, amount) VALUES (?, ?, ?)",
          ctx.net().devices[victim.modulator].id, other_allocation_space(ctx.net(), victim), 125'000);
}

}  // namespace mkinstall::inject
