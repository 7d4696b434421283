// The inband state and inband channel checks. An inband names four devices
// in inband_channel: its managed modulator and demodulator (column device)
// and the home demodulator and modulator (column home_device), told apart
// by the channel number. Each device must be known to the registry network
// configuration, and all of them must sit on one satellite.

#include <array>
#include <optional>
#include <span>
#include <sstream>
#include <string_view>
#include <unordered_set>

#include "report/device_groups.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {
namespace {

struct inband_device_role {
  const wchar_t* text;        // in problem texts and the repair's description
  const wchar_t* line_label;  // a line of the mismatch text
  const text_question* query;  // reads the role's moniker of one inband
  const char* column;         // the inband_channel column that holds it
  std::int32_t number;        // the inband_channel number that holds it
};

// "SELECT device      FROM inband_channel WHERE inband=? AND number=<n>" and
// "SELECT home_device FROM inband_channel WHERE inband=? AND number=<n>".
const text_question managed_modulators{"device", "inband_channel", "inband", "number", 0};
const text_question managed_demodulators{"device", "inband_channel", "inband", "number", 1};
const text_question home_demodulators{"home_device", "inband_channel", "inband", "number", 0};
const text_question home_modulators{"home_device", "inband_channel", "inband", "number", 1};

// Always processed in this order.
const std::array<inband_device_role, 4> inband_device_roles = {{
    {L"managed modulator", L"    Managed modulator '", &managed_modulators, "device", 0},
    {L"managed demodulator", L"    Managed demodulator '", &managed_demodulators, "device", 1},
    {L"home demodulator", L"    Home demodulator '", &home_demodulators, "home_device", 0},
    {L"home modulator", L"    Home modulator '", &home_modulators, "home_device", 1},
}};
constexpr std::size_t managed_modulator = 0;
constexpr std::size_t managed_demodulator = 1;
constexpr std::size_t home_demodulator = 2;
constexpr std::size_t home_modulator = 3;

// The moniker that the role's query reads for the inband; empty when there
// is no row or the column says "(none)". An empty moniker means the role has
// no device.
std::wstring inband_query(integrity_report& report, const inband_device_role& role, std::int64_t inband_id) {
  std::wstring moniker =
      report.switching_answers.first_text(report.switching_db, *role.query, inband_id).value_or(std::wstring());
  if (moniker == L"(none)") moniker.clear();
  return moniker;
}

// An inband and the monikers of its roles, in role order.
struct inband_item {
  std::int64_t id = 0;
  std::array<std::wstring, 4> monikers;
};

// An inband's devices against the registry's: each must be known and all
// must sit on one satellite; records the home satellite of the managed
// antenna.
void check_inband_devices(integrity_report& report, const inband_item& inband,
                          std::span<const integrity_report::rf_device_range, 4> entries_of_roles) {
  const std::int64_t inband_id = inband.id;
  const std::array<std::wstring, 4>& monikers = inband.monikers;
  // A device listed in several RF chains has no one satellite: it takes
  // no part here (the RF chain check reports it).
  std::array<std::int64_t, 4> satellites{};  // 0 where not placed
  std::array<bool, 4> placed{};               // on exactly one satellite
  std::optional<std::int64_t> one_satellite;  // the first satellite found
  bool several_satellites = false;
  for (std::size_t role = 0; role < inband_device_roles.size(); ++role) {
    if (monikers[role].empty()) continue;
    const auto [first, end] = entries_of_roles[role];
    const auto entries = std::distance(first, end);
    if (entries == 1) {
      placed[role] = true;
      satellites[role] = first->path.satellite_id;
      if (!one_satellite) one_satellite = satellites[role];
      several_satellites = several_satellites || *one_satellite != satellites[role];
    } else if (entries == 0) {
      const inband_device_role& r = inband_device_roles[role];
      std::wostringstream text;
      text << L"The " << r.text << L" '" << monikers[role] << L"' for site " << report.inband_label(inband_id)
           << L" is not associated with a satellite.";
      report.add_problem(text.str(), clear_inband_channel_binding(r.text, r.column, inband_id, r.number, &report));
    }
  }

  if (several_satellites) {
    std::wostringstream text;
    text << L"A mismatch was detected in the associated satellite between two or more managed and home state "
            L"devices for site "
         << report.inband_label(inband_id) << L".";
    for (std::size_t role = 0; role < inband_device_roles.size(); ++role) {
      if (monikers[role].empty()) continue;
      text << L"\n"
           << inband_device_roles[role].line_label << monikers[role] << L"' is associated with satellite '"
           << report.satellite_label(satellites[role]) << L"'.";
    }
    report.add_problem(text.str());
  }

  // The satellite of the home devices, recorded for the managed antenna
  // when both are unambiguous. A later inband with the same antenna wins.
  // A home device that the registry does not place on one satellite
  // gives none: the shared antenna repair would act on a guess.
  std::int64_t home_satellite;
  const bool has_home_demodulator = !monikers[home_demodulator].empty();
  const bool has_home_modulator = !monikers[home_modulator].empty();
  if ((has_home_demodulator && !placed[home_demodulator]) || (has_home_modulator && !placed[home_modulator])) {
    return;
  }
  if (has_home_demodulator && has_home_modulator) {
    if (satellites[home_demodulator] != satellites[home_modulator]) return;
    home_satellite = satellites[home_demodulator];
  } else if (has_home_demodulator) {
    home_satellite = satellites[home_demodulator];
  } else if (has_home_modulator) {
    home_satellite = satellites[home_modulator];
  } else {
    return;
  }
  if (home_satellite < 0) return;

  std::int64_t managed_antenna;
  const bool has_managed_modulator = !monikers[managed_modulator].empty();
  const bool has_managed_demodulator = !monikers[managed_demodulator].empty();
  if (has_managed_modulator && has_managed_demodulator) {
    managed_antenna = report.device_antenna(entries_of_roles[managed_modulator]);
    if (managed_antenna != report.device_antenna(entries_of_roles[managed_demodulator])) return;
  } else if (has_managed_modulator) {
    managed_antenna = report.device_antenna(entries_of_roles[managed_modulator]);
  } else if (has_managed_demodulator) {
    managed_antenna = report.device_antenna(entries_of_roles[managed_demodulator]);
  } else {
    return;
  }
  if (managed_antenna < 0) return;

  report.antenna_home_satellites[managed_antenna] = home_satellite;
}

}  // namespace

void integrity_report::check_inband_states() {
  sqlite::statement inbands(switching_db, "SELECT id FROM inband_state");
  bool first_inband = true;
  const auto next = [this, &inbands, &first_inband](inband_item& inband) {
    if (!inbands.step()) return false;
    inband.id = inbands.column_int64(0);
    if (first_inband) {
      // inband_channel is read once for both of its device columns.
      const std::array<const text_question*, 4> queries = {inband_device_roles[0].query, inband_device_roles[1].query,
                                                            inband_device_roles[2].query, inband_device_roles[3].query};
      switching_answers.read_together(switching_db, queries);
      first_inband = false;
    }
    for (std::size_t role = 0; role < inband_device_roles.size(); ++role) {
      inband.monikers[role] = inband_query(*this, inband_device_roles[role], inband.id);
    }
    return true;
  };
  check_with_devices<inband_item>(rf_devices, next, [this](const inband_item& inband, const auto entries_of_roles) {
    check_inband_devices(*this, inband, entries_of_roles);
  });
  // No other check reads inband_channel's texts.
  for (const inband_device_role& role : inband_device_roles) switching_answers.forget(*role.query);
}

void integrity_report::check_inband_channel_devices() {
  // The device column is read as a number here, under SQLite's conversion
  // rules: a moniker that does not read as a number gives 0 and is skipped.
  sqlite::statement rows(switching_db, "SELECT [device] FROM inband_channel");
  std::unordered_set<std::int64_t> seen;
  while (rows.step()) {
    const std::int64_t device = rows.column_int64(0);
    if (device == 0) continue;
    if (seen.insert(device).second) continue;
    add_problem(L"The device '" + managed_device_moniker(device, false).moniker + L"' is in use my multiple inbands.");
  }
}

}  // namespace netkeep
