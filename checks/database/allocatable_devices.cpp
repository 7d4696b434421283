// The allocatable device check: every row of allocatable_device must name a
// device that the registry network configuration still has, on a satellite
// of the row's allocation space, once per allocation space.

#include <set>
#include <sstream>

#include "platform/text/unicode.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {
namespace {

// One allocatable_device row, columns 0 to 4 by position.
struct allocatable_device_row {
  std::int64_t allocation_space;
  std::wstring type;
  std::wstring moniker;
  std::int32_t port;
  std::int32_t priority;
};

// Two rows are the same entry when moniker and allocation space are equal;
// the other columns take no part.
struct same_entry_less {
  bool operator()(const allocatable_device_row& a, const allocatable_device_row& b) const {
    if (const auto order = text::compare_utf16(a.moniker, b.moniker); order != 0) return order < 0;
    return a.allocation_space < b.allocation_space;
  }
};

// "SELECT count (allocation) FROM device_allocation WHERE moniker = ?" and
// "SELECT count (device_moniker) FROM unrecovered_device WHERE device_moniker = ?".
constexpr count_question device_allocations{"allocation", "device_allocation", "moniker"};
constexpr count_question unrecovered_devices{"device_moniker", "unrecovered_device", "device_moniker"};

// True when an allocation or an unrecovered device record still uses the
// moniker; both counts are always taken.
bool moniker_still_referenced(integrity_report& report, const std::wstring& moniker) {
  const std::int64_t allocations = report.switching_answers.count(report.switching_db, device_allocations, moniker);
  const std::int64_t unrecovered = report.switching_answers.count(report.switching_db, unrecovered_devices, moniker);
  return allocations != 0 || unrecovered != 0;
}

}  // namespace

void integrity_report::check_allocatable_devices() {
  std::set<allocatable_device_row, same_entry_less> accepted;
  sqlite::statement rows(switching_db, "SELECT *,rowid FROM allocatable_device");
  while (rows.step()) {
    allocatable_device_row row{rows.column_int64(0), rows.column_text(1), rows.column_text(2), rows.column_int(3),
                               rows.column_int(4)};
    const std::int64_t row_id = rows.column_int64(5);
    const std::wstring& moniker = row.moniker;
    const std::int64_t space = row.allocation_space;

    // Only the device's first place in the registry and the first
    // allocation space of its satellite count.
    std::wostringstream text;
    const auto device = rf_devices.lower_bound(moniker);
    if (device == rf_devices.end() || device->first != moniker) {
      text << L"The allocatable device '" << moniker << L"' is no longer associated with an allocation space.";
    } else {
      const auto satellite_space = satellite_allocation_spaces.lower_bound(device->second.satellite_id);
      const std::int64_t device_space =
          satellite_space != satellite_allocation_spaces.end() && satellite_space->first == device->second.satellite_id
              ? satellite_space->second
              : -1;
      if (device_space != space) {
        text << L"The allocatable device '" << moniker << L"' is no longer associated with the satellite '"
             << allocation_space_label(space) << L"'.";
      } else if (!accepted.insert(row).second) {
        text << L"The allocatable device '" << moniker << L"' on satellite '" << allocation_space_label(space)
             << L"' has a duplicate entry.";
      } else {
        continue;
      }
    }

    if (moniker_still_referenced(*this, moniker)) {
      add_problem(text.str());
    } else {
      add_problem(text.str(), delete_allocatable_device(moniker, this, space, row_id));
    }
  }
}

}  // namespace netkeep
