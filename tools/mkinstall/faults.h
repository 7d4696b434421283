#pragma once
// Faults: one per kind of problem that `netkeep verify` reports, each
// injected into an otherwise consistent installation after its rows and keys
// are written. A fault damages its own victims (sites taken in order, hub
// devices, new ids), so that any set of faults can be injected together and
// each one still shows its own problem.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/registry.h"
#include "tools/mkinstall/database_writer.h"
#include "tools/mkinstall/network.h"

namespace mkinstall {

class fault_context {
 public:
  fault_context(const network& net, installation_databases& databases, win32::registry::raw_key installation_key);

  const network& net() const { return net_; }
  sqlite::database& network_db() { return databases_.network_db(); }
  sqlite::database& switching_db() { return databases_.switching_db(); }
  sqlite::database& redundancy_db() { return databases_.redundancy_db(); }
  bool with_indexes() const { return databases_.with_indexes(); }
  win32::registry::raw_key registry() const { return installation_key_; }

  // The next victim site, in site order. Throws when the sites run short of
  // those that must stay clean (the last site of every antenna).
  const site& take_site();
  // The next hub device that no fault has used.
  const device& take_hub_device();

  // Ids that the consistent installation does not use.
  std::int64_t new_device_id() { return net_.max_device_id() + ++new_devices_; }
  std::int64_t new_allocation_id() { return net_.max_allocation_id() + ++new_allocations_; }
  std::int64_t new_satellite_id() { return static_cast<std::int64_t>(net_.satellites.size()) + ++new_satellites_; }
  std::int64_t new_antenna_id() { return 9000 + ++new_antennas_; }
  std::int64_t new_allocation_space_id() { return 900 + ++new_spaces_; }
  std::int64_t new_site_id() { return net_.max_site_id() + ++new_sites_; }
  std::int64_t new_inband_id() { return net_.max_inband_id() + ++new_inbands_; }

  // Work to do on the data directory once the databases are closed (damage
  // to the files themselves), in the order given.
  void after_close(std::function<void(const std::filesystem::path& data_directory)> work);
  void run_after_close(const std::filesystem::path& data_directory);

 private:
  const network& net_;
  installation_databases& databases_;
  win32::registry::raw_key installation_key_;
  std::size_t next_site_ = 0;
  std::size_t next_hub_device_ = 0;
  std::int64_t new_devices_ = 0, new_allocations_ = 0, new_satellites_ = 0, new_antennas_ = 0, new_spaces_ = 0,
               new_sites_ = 0, new_inbands_ = 0;
  std::vector<std::function<void(const std::filesystem::path&)>> after_close_;
};

struct fault {
  const char* name;
  const char* summary;  // one line: the damage and the problem it shows
  int victim_sites;     // sites it takes with take_site
  void (*inject)(fault_context&);
};

// Every fault, grouped by the check that reports it.
const std::vector<fault>& all_faults();

// The faults of a --faults value: "none", "all", or names joined by commas,
// in table order, each once. Throws usage_error for an unknown name.
std::vector<const fault*> select_faults(const std::string& selection);

// The smallest number of sites with which these faults can be injected.
std::int64_t sites_needed(const std::vector<const fault*>& faults);

}  // namespace mkinstall
