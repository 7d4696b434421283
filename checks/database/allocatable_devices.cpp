// The allocatable device check: every row of allocatable_device must name a
// device that the registry network configuration still has, on a satellite
// of the row's allocation space, once per allocation space.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/text/unicode.h"
#include "report/device_groups.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {
namespace {

// "SELECT count (allocation) FROM device_allocation WHERE moniker = ?" and
// "SELECT count (device_moniker) FROM unrecovered_device WHERE device_moniker = ?".
const count_question device_allocations{"allocation", "device_allocation", "moniker"};
const count_question unrecovered_devices{"device_moniker", "unrecovered_device", "device_moniker"};

// True when an allocation or an unrecovered device record still uses the
// moniker; both counts are always taken.
bool moniker_still_referenced(integrity_report& report, const std::wstring& moniker) {
  const std::int64_t allocations = report.switching_answers.count(report.switching_db, device_allocations, moniker);
  const std::int64_t unrecovered = report.switching_answers.count(report.switching_db, unrecovered_devices, moniker);
  return allocations != 0 || unrecovered != 0;
}

// One row of allocatable_device, as the check reads it.
struct allocatable_row {
  std::int64_t allocation_space;
  std::wstring moniker;
  std::int64_t row_id;
};

}  // namespace

void integrity_report::check_allocatable_devices() {
  // The entries that passed, by the moniker's first rf_devices entry, which
  // stands for the moniker. Rows with equal monikers and allocation spaces
  // are the same entry (the other columns take no part), and an entry only
  // passes on the allocation space of that first entry's satellite: so one
  // flag per rf_devices entry holds what passed.
  std::vector<bool> accepted(rf_devices.size());
  // Only the device's first place in the registry and the first allocation
  // space of its satellite count.
  const auto check = [this, &accepted](const allocatable_row& row, const rf_device_range& devices) {
    const auto device = devices.first;
    const std::wstring& moniker = row.moniker;
    const std::int64_t space = row.allocation_space;
    std::wstring description;
    if (device == rf_devices.end()) {
      description = L"The allocatable device '" + moniker + L"' is no longer associated with an allocation space.";
    } else {
      const auto first_place = static_cast<std::size_t>(device - rf_devices.begin());
      const auto satellite_space = satellite_allocation_spaces.lower_bound(device->path.satellite_id);
      const std::int64_t device_space =
          satellite_space != satellite_allocation_spaces.end() && satellite_space->first == device->path.satellite_id
              ? satellite_space->second
              : -1;
      if (device_space != space) {
        description = L"The allocatable device '" + moniker + L"' is no longer associated with the satellite '" +
                      allocation_space_label(space) + L"'.";
      } else if (accepted[first_place]) {
        description = L"The allocatable device '" + moniker + L"' on satellite '" + allocation_space_label(space) +
                      L"' has a duplicate entry.";
      } else {
        accepted[first_place] = true;
        return;
      }
    }

    if (moniker_still_referenced(*this, moniker)) {
      add_problem(std::move(description));
    } else {
      add_problem(std::move(description), delete_allocatable_device(moniker, this, space, row.row_id));
    }
  };

  // Columns by position: 0 allocation_space, 2 moniker, and the rowid last,
  // whatever the number of the table's columns.
  sqlite::statement rows(switching_db, "SELECT *,rowid FROM allocatable_device");
  const int row_id_column = rows.column_count() - 1;
  const auto read = [row_id_column](const sqlite::statement& row, allocatable_row& r) {
    r.allocation_space = row.column_int64(0);
    r.moniker.clear();
    row.append_column_text(2, r.moniker);
    r.row_id = row.column_int64(row_id_column);
  };
  check_rows_with_devices<allocatable_row>(rf_devices, rows, read, check);
  switching_answers.forget(device_allocations);
  switching_answers.forget(unrecovered_devices);
}

}  // namespace netkeep
