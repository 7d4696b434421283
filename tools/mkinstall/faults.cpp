#include "tools/mkinstall/faults.h"

#include <set>
#include <stdexcept>

#include "tools/mkinstall/fault_injections.h"
#include "tools/mkinstall/options.h"

namespace mkinstall {

fault_context::fault_context(const network& net, installation_databases& databases,
                             win32::registry::raw_key installation_key)
    : net_(net), databases_(databases), installation_key_(installation_key) {}

const site& fault_context::take_site() {
  // The last site of every antenna stays clean: the inband home states of
  // an antenna are taken from its last inband, and a fault on that inband
  // would change which satellite they name.
  const std::size_t clean = net_.antennas.size();
  if (next_site_ + clean >= net_.sites.size()) {
    throw std::runtime_error("too few sites for the faults asked for");
  }
  return net_.sites[next_site_++];
}

const device& fault_context::take_hub_device() {
  // Hub devices come first in the device list.
  if (next_hub_device_ >= net_.devices.size() || net_.devices[next_hub_device_].site >= 0) {
    throw std::runtime_error("too few hub devices for the faults asked for");
  }
  return net_.devices[next_hub_device_++];
}

void fault_context::after_close(std::function<void(const std::filesystem::path&)> work) {
  after_close_.push_back(std::move(work));
}

void fault_context::run_after_close(const std::filesystem::path& data_directory) {
  for (const auto& work : after_close_) work(data_directory);
}

const std::vector<fault>& all_faults() {
  // In the order in which verification reports the problems.
  static const std::vector<fault> faults = {
      {"satellite-without-allocation-space", "a satellite without an allocation space key (uncorrectable)", 0,
       inject::satellite_without_allocation_space},
      {"allocation-space-id-wrong-type", "a satellite's allocation space id stored as a number (uncorrectable)", 0,
       inject::allocation_space_id_wrong_type},
      {"allocation-space-id-illegal-characters",
       "a satellite's allocation space id with a letter in it (uncorrectable)", 0,
       inject::allocation_space_id_illegal_characters},
      {"allocation-space-id-unreadable", "a satellite's allocation space key without its id (uncorrectable)", 0,
       inject::allocation_space_id_unreadable},
      {"corrupt-device-moniker", "a modulator moniker stored as a multi-string (uncorrectable)", 0,
       inject::corrupt_device_moniker},
      {"unknown-managed-modulator", "an inband whose modulator the registry does not know (correctable)", 1,
       inject::unknown_managed_modulator},
      {"unknown-managed-demodulator", "an inband whose demodulator the registry does not know (correctable)", 1,
       inject::unknown_managed_demodulator},
      {"unknown-home-demodulator", "an inband whose home demodulator the registry does not know (correctable)", 1,
       inject::unknown_home_demodulator},
      {"unknown-home-modulator", "an inband whose home modulator the registry does not know (correctable)", 1,
       inject::unknown_home_modulator},
      {"inband-satellite-mismatch", "an inband whose home devices sit on another satellite (uncorrectable)", 1,
       inject::inband_satellite_mismatch},
      {"logical-link-without-primary-role", "a backup slot binding with a logical link (correctable)", 1,
       inject::logical_link_without_primary_role},
      {"antenna-on-several-satellites",
       "a stale copy of an antenna under a second satellite, home satellite known (correctable)", 0,
       inject::antenna_on_several_satellites},
      {"antenna-on-several-satellites-no-home",
       "an antenna without inbands under two satellites (uncorrectable)", 0,
       inject::antenna_on_several_satellites_no_home},
      {"device-on-several-rf-chains", "a demodulator listed under converters of two antennas (uncorrectable)", 1,
       inject::device_on_several_rf_chains},
      {"site-without-inband", "a site whose inband property names a removed inband (correctable)", 0,
       inject::site_without_inband},
      {"duplicate-managed-device", "a moniker with a second managed device id (uncorrectable)", 1,
       inject::duplicate_managed_device},
      {"unused-managed-device", "a managed device that no satellite lists and nothing uses (correctable)", 0,
       inject::unused_managed_device},
      {"orphan-managed-device-in-use",
       "a managed device that no satellite lists, still used by a modcod row (uncorrectable)", 0,
       inject::orphan_managed_device_in_use},
      {"allocation-space-without-satellite", "an allocation space that no satellite has (uncorrectable)", 0,
       inject::allocation_space_without_satellite},
      {"allocation-space-on-several-satellites", "an allocation space claimed by two satellites (uncorrectable)", 0,
       inject::allocation_space_on_several_satellites},
      {"allocation-space-scan-error",
       "allocation_space's last page lost: reading the table fails part-way (uncorrectable)", 0,
       inject::allocation_space_scan_error},
      {"duplicate-allocations", "a device with two allocations on one allocation space (uncorrectable)", 1,
       inject::duplicate_allocations},
      {"allocation-on-wrong-space", "an allocation on another satellite's allocation space (correctable)", 1,
       inject::allocation_on_wrong_space},
      {"allocation-of-unregistered-device",
       "an allocation of a device that the registry does not list (correctable)", 0,
       inject::allocation_of_unregistered_device},
      {"allocation-of-device-on-several-spaces",
       "an allocation of a device listed on two satellites, on a third space (correctable)", 0,
       inject::allocation_of_device_on_several_spaces},
      {"allocation-of-unknown-allocator", "an allocation whose allocator is not a managed device (uncorrectable)", 0,
       inject::allocation_of_unknown_allocator},
      {"allocation-scan-error",
       "an allocation whose chain links sit on a broken overflow page (uncorrectable)", 0,
       inject::allocation_scan_error},
      {"allocatable-device-unknown", "an allocatable device that the registry does not know (correctable)", 0,
       inject::allocatable_device_unknown},
      {"allocatable-device-unknown-in-use",
       "an allocatable device that the registry does not know, still allocated (uncorrectable)", 0,
       inject::allocatable_device_unknown_in_use},
      {"allocatable-device-wrong-satellite", "a hub device allocatable on another satellite (correctable)", 0,
       inject::allocatable_device_wrong_satellite},
      {"allocatable-device-wrong-satellite-in-use",
       "an allocated site device allocatable on another satellite (uncorrectable)", 1,
       inject::allocatable_device_wrong_satellite_in_use},
      {"allocatable-device-duplicate", "a hub device listed twice as allocatable (correctable)", 0,
       inject::allocatable_device_duplicate},
      {"allocatable-device-duplicate-in-use", "an allocated site device listed twice as allocatable (uncorrectable)",
       1, inject::allocatable_device_duplicate_in_use},
      {"unrecovered-resources-without-device",
       "unrecovered resources of a device that the map does not know (correctable)", 0,
       inject::unrecovered_resources_without_device},
      {"unrecovered-resources-wrong-space",
       "unrecovered resources on another satellite's allocation space (correctable)", 1,
       inject::unrecovered_resources_wrong_space},
      {"device-in-several-inbands", "a modulator also used by a stale inband channel row (uncorrectable)", 1,
       inject::device_in_several_inbands},
      {"preallocation-space-gone", "a preallocation on an allocation space that no longer exists (correctable)", 1,
       inject::preallocation_space_gone},
      {"preallocation-wrong-space", "a preallocation on another satellite's allocation space (correctable)", 1,
       inject::preallocation_wrong_space},
      {"reservation-unknown-device", "a reservation of a device that the map does not know (uncorrectable)", 0,
       inject::reservation_unknown_device},
      {"reservation-invalid-device", "reservations of a hub device that lost its out-of-band state (correctable)", 0,
       inject::reservation_invalid_device},
  };
  return faults;
}

std::vector<const fault*> select_faults(const std::string& selection) {
  std::vector<const fault*> selected;
  if (selection == "none") return selected;
  if (selection == "all") {
    for (const fault& f : all_faults()) selected.push_back(&f);
    return selected;
  }
  std::set<std::string> names;
  for (std::size_t start = 0; start <= selection.size();) {
    const std::size_t comma = std::min(selection.find(',', start), selection.size());
    const std::string name = selection.substr(start, comma - start);
    bool known = false;
    for (const fault& f : all_faults()) known = known || name == f.name;
    if (!known) throw usage_error("unknown fault '" + name + "' (mkinstall faults lists them)");
    names.insert(name);
    start = comma + 1;
  }
  for (const fault& f : all_faults()) {
    if (names.count(f.name) != 0) selected.push_back(&f);
  }
  return selected;
}

std::int64_t sites_needed(const std::vector<const fault*>& faults) {
  std::int64_t victims = 0;
  for (const fault* f : faults) victims += f->victim_sites;
  if (victims == 0) return 1;
  // Every antenna keeps its last site clean (see take_site).
  std::int64_t sites = 1;
  while (sites < victims + satellite_count(sites) * antennas_per_satellite(sites) + 1) ++sites;
  return sites;
}

}  // namespace mkinstall
