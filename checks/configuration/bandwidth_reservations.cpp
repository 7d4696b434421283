// The per-device step of the bandwidth reservation check. The verification
// driver reads bandwidth_reservation in row order and hands over each run of
// consecutive rows of one managed device; a reservation is only meaningful
// while its device is known to managed_device_map and still used by an
// inband channel or an out-of-band state.

#include <cstdint>
#include <string>

#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {
namespace {

// "SELECT count([inband]) FROM inband_channel WHERE [device] = ?" and
// "SELECT count([rowid]) FROM outofband_state WHERE [device] = ?".
const count_question inband_channels{"[inband]", "inband_channel", "[device]"};
const count_question outofband_states{"[rowid]", "outofband_state", "[device]"};

}  // namespace

void integrity_report::check_device_reservations(reservation_iterator first, reservation_iterator end) {
  if (first == end) return;
  const std::int64_t device_id = first->managed_device;

  const moniker_lookup device = managed_device_moniker(device_id, false);
  if (!device.found) {
    add_problem(L"One or more reservations for the allocator " + device.moniker +
                L" refer to a device that is not present in the managed device map");
    return;
  }
  if (switching_answers.count(switching_db, inband_channels, device.moniker) > 0) return;
  if (switching_answers.count(switching_db, outofband_states, device.moniker) > 0) return;
  add_problem(L"One or more reservations for the allocator " + device.moniker +
                  L" refer to a device that is no longer a valid managed device",
              delete_reservation(device_id, this));
}

}  // namespace netkeep
