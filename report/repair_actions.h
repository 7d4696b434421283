#pragma once
// The ten kinds of repair action. Each factory captures the values it needs
// and returns a repair_action; called with a repair_context, the action
// first adds the stores that its edit writes to *edits when that is set,
// then writes its one-line description to *out when `describe` is set, then
// performs its edit when `apply` is set. Edits that are made in a
// transaction happen whole or not at all; the others leave the statements
// that already ran in place when a later one fails.

#include <cstdint>
#include <string>
#include <vector>

#include "report/integrity_report.h"

namespace netkeep {

// "Clear <role> binding for the site with the id <inband>."; sets the column
// of the inband's channel `number` to '(none)' in inband_channel.
repair_action clear_inband_channel_binding(std::wstring role, std::string column, std::int64_t inband_id,
                                           std::int32_t number, integrity_report* report);

// "Clear logical link for device <device>in group <group> slot<slot>.";
// clears the binding's logical link and deletes the linked device's
// configuration (DeviceRedundancy.db).
repair_action clear_logical_link(std::wstring device, std::int64_t group, std::int64_t slot,
                                 integrity_report* report, std::wstring logical_link);

// "Delete the inband property entry for the site with the id <site>";
// deletes the inband property key below the site key `site_key` (the name
// as read, below "Network\Properties"), then the site's row in Network.db's
// property table, unless another site key of the same site id still holds
// an inband property: the row is then that key's.
repair_action delete_inband_property(std::int64_t site_id, std::wstring site_key, integrity_report* report);

// "Delete the antenna the id <antenna> from the satellite(s) with the id(s)
// <ids>"; deletes each of the antenna keys `keys` (names as read) with its
// subtree.
repair_action delete_antenna(std::int64_t antenna_id, std::vector<std::int64_t> satellite_ids,
                             std::vector<integrity_report::antenna_key_names> keys);

// "Delete the managed device entry with the id <id>".
repair_action delete_managed_device_entry(std::int64_t managed_device_id, integrity_report* report);

// "Delete the unrecovered resources on the allocation space with the id <s>
// associated with the managed device with the id <d>".
repair_action delete_unrecovered_resources(std::int64_t allocation_space_id, std::int64_t managed_device_id,
                                           integrity_report* report);

// "Delete the allocatable device '<moniker>' from the satellite '<label>'.";
// deletes the row by its rowid, in a transaction.
repair_action delete_allocatable_device(std::wstring moniker, integrity_report* report,
                                        std::int64_t allocation_space_id, std::int64_t row_id);

// "Delete the reservation for the allocator with the id <id>"; deletes the
// allocator's preallocations and reservations in one transaction.
repair_action delete_reservation(std::int64_t allocator_id, integrity_report* report);

// "Delete the pre-allocation for the allocator with the id <id>"; deletes
// every preallocation of the allocator, in a transaction.
repair_action delete_preallocation(std::int64_t allocator_id, integrity_report* report);

// "Delete the allocation with the id <id>"; links the allocation's past and
// future neighbours to each other and deletes it, in one transaction.
repair_action delete_allocation(std::int64_t allocation_id, integrity_report* report);

}  // namespace netkeep
