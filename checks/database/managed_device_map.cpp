// The managed device map check: monikers that have more than one managed
// device id, and map entries whose device the registry network
// configuration no longer has.

#include <array>
#include <sstream>

#include "checks/configuration/duplicate_runs.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {
namespace {

// The Switching tables that refer to a managed device by its id; an entry
// that one of them still uses must not be deleted.
constexpr std::array<const char*, 11> device_reference_counts = {
    "SELECT count (device_id     ) FROM managed_device_modcod_map            WHERE device_id      = ?",
    "SELECT count (managed_device) FROM bandwidth_reservation                WHERE managed_device = ?",
    "SELECT count (allocator     ) FROM allocation                           WHERE allocator      = ?",
    "SELECT count (allocator     ) FROM preallocation                        WHERE allocator      = ?",
    "SELECT count (allocator     ) FROM device_preallocation                 WHERE allocator      = ?",
    "SELECT count (managed_device) FROM unrecovered_resources                WHERE managed_device = ?",
    "SELECT count (managed_device) FROM unrecovered_slot                     WHERE managed_device = ?",
    "SELECT count (managed_device) FROM unrecovered_device                   WHERE managed_device = ?",
    "SELECT count (managed_device) FROM reservation_status                   WHERE managed_device = ?",
    "SELECT count (allocator_id)   FROM scheduled_channel_reservation        WHERE allocator_id   = ?",
    "SELECT count (device_id)      FROM scheduled_channel_device_reservation WHERE device_id      = ?",
};

// True when any table of device_reference_counts still uses the managed
// device id; stops at the first table that does.
bool device_still_referenced(const sqlite::database& db, std::int64_t id) {
  for (const char* sql : device_reference_counts) {
    sqlite::statement count(db, sql);
    count.bind_int64(1, id);
    if (count.step() && count.column_int(0) > 0) return true;
  }
  return false;
}

}  // namespace

void integrity_report::check_managed_device_map() {
  {
    sqlite::statement rows(switching_db, "SELECT id,moniker FROM managed_device_map");
    while (rows.step()) {
      std::wstring moniker = rows.column_text(1);
      managed_device_ids.emplace(std::move(moniker), rows.column_int64(0));
    }
  }

  using entry = decltype(managed_device_ids)::value_type;
  using entry_iterator = decltype(managed_device_ids)::const_iterator;
  for_each_duplicate_run<decltype(managed_device_ids)>(
      managed_device_ids, [](const entry& a, const entry& b) { return a.first == b.first; },
      [this](entry_iterator first, entry_iterator) {
        add_problem(L"Multiple device id entries for '" + first->first + L"'.");
      });

  // Orphans in moniker order; a moniker with several ids once per id, in
  // row order.
  for (const auto& [moniker, id] : managed_device_ids) {
    if (rf_devices.contains(moniker)) continue;
    std::wostringstream text;
    text << L"Device '" << moniker << L"' (id: " << id
         << L") in managed device map when not associated with a satellite.";
    if (device_still_referenced(switching_db, id)) {
      add_problem(text.str());
    } else {
      add_problem(text.str(), delete_managed_device_entry(id, this));
    }
  }
}

}  // namespace netkeep
