// The preallocation check: a preallocation is stale when its allocation
// space no longer exists, or when the registry no longer places its
// allocator's device on a satellite of that allocation space.

#include <cstdint>
#include <exception>
#include <sstream>
#include <string>

#include "platform/text/unicode.h"
#include "report/device_groups.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {

namespace {

// One row of preallocation, with its allocator's moniker.
struct preallocation_row {
  std::int64_t allocator;
  std::int64_t allocation_space;
  std::wstring moniker;
};

}  // namespace

void integrity_report::check_preallocations() {
  const auto check = [this](const preallocation_row& row, const rf_device_range& devices) {
    const std::int64_t allocator = row.allocator;
    const std::int64_t allocation_space = row.allocation_space;
    const std::wstring& moniker = row.moniker;
    if (!allocation_space_ids.contains(allocation_space)) {
      add_problem(L"A preallocation for the allocator '" + moniker + L" exists on an allocation space '" +
                      allocation_space_label(allocation_space) + L"' which no longer exists.",
                  delete_preallocation(allocator, this));
      return;
    }
    if (device_on_allocation_space(devices, allocation_space)) return;

    try {
      add_problem(L"A preallocation for the allocator '" + moniker + L" exists on an allocation space '" +
                      allocation_space_label(allocation_space) + L"' which it is no longer associated with.",
                  delete_preallocation(allocator, this));
    } catch (const std::exception& error) {
      std::wostringstream description;
      description << L"A preallocation for an allocator with the id " << allocator
                  << L" is corrupt: " << text::widen(error.what());
      add_problem(description.str(), delete_preallocation(allocator, this));
    }
  };

  // Both branches of the check demand a known allocator: an unknown one
  // ends the run, as a row that fails to read does.
  const auto read = [this](const sqlite::statement& rows, preallocation_row& row) {
    row.allocator = rows.column_int64("allocator");
    row.allocation_space = rows.column_int64("allocation_space");
    row.moniker = managed_device_moniker(row.allocator, true).moniker;
  };
  sqlite::statement rows(switching_db, "SELECT * FROM preallocation");
  check_rows_with_devices<preallocation_row>(rf_devices, rows, read, check);
}

}  // namespace netkeep
