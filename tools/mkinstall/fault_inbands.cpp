// Faults in the inbands' channel devices and in the redundancy slot bindings.

#include <string>

#include "tools/mkinstall/fault_injections.h"
#include "tools/mkinstall/sql_rows.h"

namespace mkinstall::inject {
namespace {

// Replaces one channel device of a victim's inband by a device that the
// registry does not know, as when a modem was swapped without updating the
// configuration. A managed device that leaves its inband also gives up its
// reservations, which would otherwise be invalid.
void replace_channel_device(fault_context& ctx, const char* column, int number, const std::wstring& replacement) {
  const network& net = ctx.net();
  const site& victim = ctx.take_site();
  const std::string column_name = column;
  if (column_name == "device") {
    const device& replaced = net.devices[number == 0 ? victim.modulator : victim.demodulator];
    execute(ctx.switching_db(), "DELETE FROM bandwidth_reservation WHERE managed_device = ?", replaced.id);
  }
  execute(ctx.switching_db(), "UPDATE inband_channel SET " + column_name + " = ? WHERE inband = ? AND number = ?",
          replacement + L"-s" + std::to_wstring(victim.id), victim.inband, number);
}

}  // namespace

void unknown_managed_modulator(fault_context& ctx) { replace_channel_device(ctx, "device", 0, L"retired-modulator"); }

void unknown_managed_demodulator(fault_context& ctx) {
  replace_channel_device(ctx, "device", 1, L"retired-demodulator");
}

void unknown_home_demodulator(fault_context& ctx) {
  replace_channel_device(ctx, "home_device", 0, L"retired-hub-demodulator");
}

void unknown_home_modulator(fault_context& ctx) {
  replace_channel_device(ctx, "home_device", 1, L"retired-hub-modulator");
}

void inband_satellite_mismatch(fault_context& ctx) {
  // The inband's home devices become hub devices of another satellite.
  const network& net = ctx.net();
  const site& victim = ctx.take_site();
  const satellite& other = net.satellites[(net.antennas[victim.antenna].satellite + 1) % net.satellites.size()];
  const antenna& hub = net.antennas[other.antennas.front()];
  execute(ctx.switching_db(), "UPDATE inband_channel SET home_device = ? WHERE inband = ? AND number = 0",
          net.devices[hub.hub_demodulators.front()].moniker, victim.inband);
  execute(ctx.switching_db(), "UPDATE inband_channel SET home_device = ? WHERE inband = ? AND number = 1",
          net.devices[hub.hub_modulators.front()].moniker, victim.inband);
}

void device_in_several_inbands(fault_context& ctx) {
  // A channel row left behind by a removed inband still names a modulator
  // that another inband uses.
  const site& victim = ctx.take_site();
  execute(ctx.switching_db(), "INSERT INTO inband_channel (inband, number, device, home_device) VALUES (?, 0, ?, ?)",
          ctx.new_inband_id(), ctx.net().devices[victim.modulator].moniker, L"(none)");
}

void logical_link_without_primary_role(fault_context& ctx) {
  // The backup slot of a site's redundancy group is linked to its modulator.
  const site& victim = ctx.take_site();
  execute(ctx.redundancy_db(), "UPDATE [slot.device_binding] SET [logical_link] = ? WHERE [slot] = ?",
          ctx.net().devices[victim.modulator].moniker, 2 * victim.id);
}

}  // namespace mkinstall::inject
