// The placement checks over the registry network configuration: an antenna
// belongs under one satellite, a modulator or demodulator on one RF chain
// (the converters of one antenna). Neither check reads a database.

#include <cstdint>
#include <iterator>
#include <sstream>
#include <utility>
#include <vector>

#include "checks/configuration/duplicate_runs.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {

void integrity_report::check_shared_antennas(const antenna_satellite_table& table,
                                             const antenna_satellite_predicate& same_antenna) {
  using iterator = antenna_satellite_table::const_iterator;
  for_each_duplicate_run(table, same_antenna, [this](iterator first, iterator end) {
    const std::int64_t antenna_id = first->first;
    std::wostringstream description;
    description << L"The antenna '" << antenna_label(antenna_id)
                << L"' is associated with multiple satellites. The involved satellites are '";
    for (iterator i = first; i != end; ++i) {
      if (i != first) description << (std::next(i) == end ? L"' and '" : L"', '");
      description << satellite_label(i->second);
    }
    description << L"'.";

    const auto home = antenna_home_satellites.find(antenna_id);
    if (home == antenna_home_satellites.end()) {
      add_problem(description.str());
      return;
    }
    const std::int64_t home_satellite = home->second;
    description << L"\n    According to inband home states, the correct satellite for this antenna is '"
                << satellite_label(home_satellite) << L".";
    // A home satellite that does not list the antenna leaves no listing
    // that is known to be right: removing them all would lose the antenna.
    bool home_listed = false;
    std::vector<std::int64_t> other_satellites;
    for (iterator i = first; i != end; ++i) {
      if (i->second == home_satellite) {
        home_listed = true;
      } else {
        other_satellites.push_back(i->second);
      }
    }
    if (!home_listed) {
      add_problem(description.str());
      return;
    }
    // Every listing under another satellite goes, once per key read.
    std::vector<antenna_key_names> other_keys;
    const auto [keys, keys_end] = antenna_keys.equal_range(antenna_id);
    for (auto key = keys; key != keys_end; ++key) {
      if (key->second.first != home_satellite) other_keys.push_back(key->second.second);
    }
    add_problem(description.str(), delete_antenna(antenna_id, std::move(other_satellites), std::move(other_keys)));
  });
}

void integrity_report::check_device_rf_chains(rf_device_table::const_iterator first,
                                              rf_device_table::const_iterator end,
                                              const rf_device_predicate& same_moniker) {
  using iterator = rf_device_table::const_iterator;
  for_each_duplicate_run<iterator>(first, end, same_moniker, [this](iterator run, iterator run_end) {
    // Listings under several converters of one antenna are one RF chain.
    const std::int64_t antenna_id = run->path.antenna_id;
    for (iterator i = std::next(run); i != run_end; ++i) {
      if (i->path.antenna_id != antenna_id) {
        add_problem(L"The device with the moniker '" + run->wide_moniker() +
                    L"' is associated with multiple RF chains.");
        return;
      }
    }
  });
}

}  // namespace netkeep
