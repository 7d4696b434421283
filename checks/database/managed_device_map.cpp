// The managed device map check: monikers that have more than one managed
// device id, and map entries whose device the registry network
// configuration no longer has.

#include <algorithm>
#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "checks/configuration/duplicate_runs.h"
#include "platform/text/unicode.h"
#include "report/id_text_table.h"
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

// Which of the managed device ids a table of device_references still uses.
// For each id the tables are asked in order up to the first that uses it,
// so a table is only read when an id that no earlier table uses needs it;
// each is read once, for all of those ids.
std::vector<bool> devices_still_referenced(integrity_report& report, const std::vector<std::int64_t>& ids) {
  std::vector<bool> referenced(ids.size());
  std::vector<std::size_t> unused(ids.size());  // indexes into `ids`
  for (std::size_t i = 0; i < ids.size(); ++i) unused[i] = i;
  for (const count_question& question : device_references) {
    if (unused.empty()) break;
    std::vector<std::int64_t> asked;
    asked.reserve(unused.size());
    for (std::size_t i : unused) asked.push_back(ids[i]);
    const std::vector<std::int64_t> counts = report.switching_answers.counts(report.switching_db, question, asked);
    std::vector<std::size_t> still_unused;
    for (std::size_t k = 0; k < unused.size(); ++k) {
      if (counts[k] > 0) {
        referenced[unused[k]] = true;
      } else {
        still_unused.push_back(unused[k]);
      }
    }
    unused = std::move(still_unused);
  }
  return referenced;
}

// The rows of managed_device_map, moniker -> id, with the monikers as the
// UTF-16 code units that SQLite gives, in one pool: two million rows cost a
// few allocations.
class device_ids_by_moniker {
 public:
  struct entry {
    std::int64_t id;
    utf16_pool::span moniker;
  };

  explicit device_ids_by_moniker(const sqlite::database& db) {
    sqlite::statement rows(db, "SELECT id,moniker FROM managed_device_map");
    while (rows.step()) entries_.push_back({rows.column_int64(0), monikers_.append(rows.column_text16(1))});
    // In moniker order and, for one moniker, in row order.
    std::stable_sort(entries_.begin(), entries_.end(),
                     [this](const entry& a, const entry& b) { return moniker(a) < moniker(b); });
  }

  std::u16string_view moniker(const entry& e) const { return monikers_.view(e.moniker); }
  const std::vector<entry>& entries() const { return entries_; }

 private:
  std::vector<entry> entries_;
  utf16_pool monikers_;
};

}  // namespace

void integrity_report::check_managed_device_map() {
  const device_ids_by_moniker managed_device_ids(switching_db);
  using entry = device_ids_by_moniker::entry;
  using entry_iterator = std::vector<entry>::const_iterator;
  for_each_duplicate_run<std::vector<entry>>(
      managed_device_ids.entries(),
      [&managed_device_ids](const entry& a, const entry& b) {
        return managed_device_ids.moniker(a) == managed_device_ids.moniker(b);
      },
      [this, &managed_device_ids](entry_iterator first, entry_iterator) {
        add_problem(L"Multiple device id entries for '" + text::from_utf16(managed_device_ids.moniker(*first)) +
                    L"'.");
      });

  // Orphans in moniker order; a moniker with several ids once per id, in
  // row order. Both tables are in the order of the monikers' code units, so
  // one walk along rf_devices finds which monikers it has.
  std::vector<const entry*> orphans;
  std::vector<std::int64_t> orphan_ids;
  auto device = rf_devices.begin();
  for (const entry& e : managed_device_ids.entries()) {
    const std::u16string_view moniker = managed_device_ids.moniker(e);
    while (device != rf_devices.end() && device->moniker < moniker) ++device;
    if (device != rf_devices.end() && device->moniker == moniker) continue;
    orphans.push_back(&e);
    orphan_ids.push_back(e.id);
  }
  const std::vector<bool> referenced = devices_still_referenced(*this, orphan_ids);
  for (std::size_t i = 0; i < orphans.size(); ++i) {
    std::wostringstream text;
    text << L"Device '" << text::from_utf16(managed_device_ids.moniker(*orphans[i])) << L"' (id: " << orphans[i]->id
         << L") in managed device map when not associated with a satellite.";
    if (referenced[i]) {
      add_problem(text.str());
    } else {
      add_problem(text.str(), delete_managed_device_entry(orphans[i]->id, this));
    }
  }
}

}  // namespace netkeep
