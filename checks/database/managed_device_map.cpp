// The managed device map check: monikers that have more than one managed
// device id, and map entries whose device the registry network
// configuration no longer has.

#include <algorithm>
#include <array>
#include <sstream>
#include <utility>
#include <vector>

#include "checks/configuration/duplicate_runs.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {
namespace {

// The Switching tables that refer to a managed device by its id, asked in
// this order ("SELECT count (<counted>) FROM <table> WHERE <key> = ?"); an
// entry that one of them still uses must not be deleted.
const std::array<count_question, 11> device_references = {{
    {"device_id", "managed_device_modcod_map", "device_id"},
    {"managed_device", "bandwidth_reservation", "managed_device"},
    {"allocator", "allocation", "allocator"},
    {"allocator", "preallocation", "allocator"},
    {"allocator", "device_preallocation", "allocator"},
    {"managed_device", "unrecovered_resources", "managed_device"},
    {"managed_device", "unrecovered_slot", "managed_device"},
    {"managed_device", "unrecovered_device", "managed_device"},
    {"managed_device", "reservation_status", "managed_device"},
    {"allocator_id", "scheduled_channel_reservation", "allocator_id"},
    {"device_id", "scheduled_channel_device_reservation", "device_id"},
}};

// True when any table of device_references still uses the managed device
// id; stops at the first table that does, so later tables are only read
// when an orphan needs them.
bool device_still_referenced(integrity_report& report, std::int64_t id) {
  for (const count_question& question : device_references) {
    if (report.switching_answers.count(report.switching_db, question, id) > 0) return true;
  }
  return false;
}

}  // namespace

void integrity_report::check_managed_device_map() {
  // Moniker -> managed device id, in moniker order and, for one moniker, in
  // row order (a stable sort of the rows). Held for this check only.
  using entry = std::pair<std::wstring, std::int64_t>;
  std::vector<entry> managed_device_ids;
  {
    sqlite::statement rows(switching_db, "SELECT id,moniker FROM managed_device_map");
    while (rows.step()) managed_device_ids.emplace_back(rows.column_text(1), rows.column_int64(0));
  }
  std::stable_sort(managed_device_ids.begin(), managed_device_ids.end(),
                   [](const entry& a, const entry& b) { return moniker_less{}(a.first, b.first); });

  using entry_iterator = std::vector<entry>::const_iterator;
  for_each_duplicate_run<std::vector<entry>>(
      managed_device_ids, [](const entry& a, const entry& b) { return a.first == b.first; },
      [this](entry_iterator first, entry_iterator) {
        add_problem(L"Multiple device id entries for '" + first->first + L"'.");
      });

  // Orphans in moniker order; a moniker with several ids once per id, in
  // row order.
  for (const auto& [moniker, id] : managed_device_ids) {
    const auto [first, end] = rf_device_entries(moniker);
    if (first != end) continue;
    std::wostringstream text;
    text << L"Device '" << moniker << L"' (id: " << id
         << L") in managed device map when not associated with a satellite.";
    if (device_still_referenced(*this, id)) {
      add_problem(text.str());
    } else {
      add_problem(text.str(), delete_managed_device_entry(id, this));
    }
  }
  // No other check asks these questions: their tables, read whole for the
  // orphans, are given back.
  for (const count_question& question : device_references) switching_answers.forget(question);
}

}  // namespace netkeep
