// PENDING: the repair actions are being built. Delete this file when they
// land.

#include "report/repair_actions.h"

namespace netkeep {

repair_action clear_inband_channel_binding(std::wstring, std::string, std::int64_t, std::int32_t,
                                           integrity_report*) { return {}; }
repair_action clear_logical_link(std::wstring, std::int64_t, std::int64_t, integrity_report*, std::wstring) {
  return {};
}
repair_action delete_inband_property(std::int64_t, integrity_report*) { return {}; }
repair_action delete_antenna(std::int64_t, std::vector<std::int64_t>) { return {}; }
repair_action delete_managed_device_entry(std::int64_t, integrity_report*) { return {}; }
repair_action delete_unrecovered_resources(std::int64_t, std::int64_t, integrity_report*) { return {}; }
repair_action delete_allocatable_device(std::wstring, integrity_report*, std::int64_t, std::int64_t) { return {}; }
repair_action delete_reservation(std::int64_t, integrity_report*) { return {}; }
repair_action delete_preallocation(std::int64_t, integrity_report*) { return {}; }
repair_action delete_allocation(std::int64_t, integrity_report*) { return {}; }

}  // namespace netkeep
