// The managed device map check: monikers that have more than one managed
// device id, and map entries whose device the registry network
// configuration no longer has.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <stdexcept>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// The rows of managed_device_map, moniker -> id, in row order, with the
// monikers as the UTF-16 code units that SQLite gives, in one pool: two
// million rows cost a few allocations.
class device_ids_by_moniker {
 public:
  struct entry {
    std::int64_t id;
    utf16_pool::span moniker;
  };

  explicit device_ids_by_moniker(const sqlite::database& db) {
    sqlite::statement rows(db, "SELECT id,moniker FROM managed_device_map");
    while (rows.step()) entries_.push_back({rows.column_int64(0), monikers_.append(rows.column_text16(1))});
  }

  std::u16string_view moniker(std::size_t row) const { return monikers_.view(entries_[row].moniker); }
  const std::vector<entry>& entries() const { return entries_; }

  // The rows of each moniker that more than one row has: the first row of
  // each, in moniker order. The rows are grouped by the hash of their
  // moniker, which a sort compares without reading the texts; only the few
  // monikers found are sorted as texts.
  std::vector<std::size_t> first_rows_of_repeated_monikers() const {
    if (entries_.size() > std::numeric_limits<std::uint32_t>::max()) {
      throw std::length_error("managed_device_map: too many rows");
    }
    struct hashed_row {
      std::size_t hash;
      std::uint32_t row;
    };
    std::vector<hashed_row> rows(entries_.size());
    for (std::size_t row = 0; row < entries_.size(); ++row) {
      rows[row] = {std::hash<std::u16string_view>()(moniker(row)), static_cast<std::uint32_t>(row)};
    }
    // Equal monikers have equal hashes: within one hash, by moniker and
    // then by row.
    std::sort(rows.begin(), rows.end(), [this](const hashed_row& a, const hashed_row& b) {
      if (a.hash != b.hash) return a.hash < b.hash;
      const int order = moniker(a.row).compare(moniker(b.row));
      return order != 0 ? order < 0 : a.row < b.row;
    });
    std::vector<std::size_t> firsts;
    for (std::size_t i = 0; i < rows.size();) {
      std::size_t end = i + 1;
      while (end < rows.size() && rows[end].hash == rows[i].hash && moniker(rows[end].row) == moniker(rows[i].row)) {
        ++end;
      }
      if (end - i > 1) firsts.push_back(rows[i].row);
      i = end;
    }
    in_moniker_order(firsts);
    return firsts;
  }

  // Sorts rows by moniker and, for one moniker, in row order.
  void in_moniker_order(std::vector<std::size_t>& rows) const {
    std::sort(rows.begin(), rows.end(), [this](std::size_t a, std::size_t b) {
      const int order = moniker(a).compare(moniker(b));
      return order != 0 ? order < 0 : a < b;
    });
  }

 private:
  std::vector<entry> entries_;
  utf16_pool monikers_;
};

}  // namespace

void integrity_report::check_managed_device_map() {
  const device_ids_by_moniker managed_device_ids(switching_db);
  const std::vector<device_ids_by_moniker::entry>& entries = managed_device_ids.entries();
  for (const std::size_t row : managed_device_ids.first_rows_of_repeated_monikers()) {
    add_problem(L"Multiple device id entries for '" + text::from_utf16(managed_device_ids.moniker(row)) + L"'.");
  }

  // Orphans in moniker order; a moniker with several ids once per id, in
  // row order. Their devices are looked up side by side.
  std::vector<std::size_t> orphans;
  std::array<std::u16string_view, side_by_side_monikers> monikers;
  std::array<rf_device_range, side_by_side_monikers> devices;
  for (std::size_t start = 0; start < entries.size(); start += side_by_side_monikers) {
    const std::size_t n = std::min(side_by_side_monikers, entries.size() - start);
    for (std::size_t i = 0; i < n; ++i) monikers[i] = managed_device_ids.moniker(start + i);
    rf_devices.equal_ranges(std::span(monikers.data(), n), std::span(devices.data(), n));
    for (std::size_t i = 0; i < n; ++i) {
      if (devices[i].first == devices[i].second) orphans.push_back(start + i);
    }
  }
  managed_device_ids.in_moniker_order(orphans);
  std::vector<std::int64_t> orphan_ids;
  orphan_ids.reserve(orphans.size());
  for (const std::size_t row : orphans) orphan_ids.push_back(entries[row].id);
  const std::vector<bool> referenced = devices_still_referenced(*this, orphan_ids);
  for (std::size_t i = 0; i < orphans.size(); ++i) {
    std::wostringstream text;
    text << L"Device '" << text::from_utf16(managed_device_ids.moniker(orphans[i])) << L"' (id: " << orphan_ids[i]
         << L") in managed device map when not associated with a satellite.";
    if (referenced[i]) {
      add_problem(text.str());
    } else {
      add_problem(text.str(), delete_managed_device_entry(orphan_ids[i], this));
    }
  }
}

}  // namespace netkeep
