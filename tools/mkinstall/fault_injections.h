#pragma once
// The injections of the faults, one function per fault, grouped by what they
// damage. The table in faults.cpp names and describes them.

#include "tools/mkinstall/faults.h"

namespace mkinstall::inject {

// Registry: satellites, allocation space identifiers, monikers, antennas,
// site inband properties (fault_configuration.cpp).
void satellite_without_allocation_space(fault_context& ctx);
void allocation_space_id_wrong_type(fault_context& ctx);
void allocation_space_id_illegal_characters(fault_context& ctx);
void allocation_space_id_unreadable(fault_context& ctx);
void corrupt_device_moniker(fault_context& ctx);
void antenna_on_several_satellites(fault_context& ctx);
void antenna_on_several_satellites_no_home(fault_context& ctx);
void device_on_several_rf_chains(fault_context& ctx);
void site_without_inband(fault_context& ctx);

// Inbands and slot bindings (fault_inbands.cpp).
void unknown_managed_modulator(fault_context& ctx);
void unknown_managed_demodulator(fault_context& ctx);
void unknown_home_demodulator(fault_context& ctx);
void unknown_home_modulator(fault_context& ctx);
void inband_satellite_mismatch(fault_context& ctx);
void device_in_several_inbands(fault_context& ctx);
void logical_link_without_primary_role(fault_context& ctx);

// Managed device map and allocatable devices (fault_devices.cpp).
void duplicate_managed_device(fault_context& ctx);
void unused_managed_device(fault_context& ctx);
void orphan_managed_device_in_use(fault_context& ctx);
void allocatable_device_unknown(fault_context& ctx);
void allocatable_device_unknown_in_use(fault_context& ctx);
void allocatable_device_wrong_satellite(fault_context& ctx);
void allocatable_device_wrong_satellite_in_use(fault_context& ctx);
void allocatable_device_duplicate(fault_context& ctx);
void allocatable_device_duplicate_in_use(fault_context& ctx);

// Allocation spaces and allocations (fault_allocations.cpp).
void allocation_space_without_satellite(fault_context& ctx);
void allocation_space_on_several_satellites(fault_context& ctx);
void allocation_space_scan_error(fault_context& ctx);
void duplicate_allocations(fault_context& ctx);
void allocation_on_wrong_space(fault_context& ctx);
void allocation_of_unregistered_device(fault_context& ctx);
void allocation_of_device_on_several_spaces(fault_context& ctx);
void allocation_of_unknown_allocator(fault_context& ctx);
void allocation_scan_error(fault_context& ctx);

// Preallocations, reservations and unrecovered resources
// (fault_reservations.cpp).
void preallocation_space_gone(fault_context& ctx);
void preallocation_wrong_space(fault_context& ctx);
void reservation_unknown_device(fault_context& ctx);
void reservation_invalid_device(fault_context& ctx);
void unrecovered_resources_without_device(fault_context& ctx);
void unrecovered_resources_wrong_space(fault_context& ctx);

}  // namespace mkinstall::inject
