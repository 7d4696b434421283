// The preallocation check: a preallocation is stale when its allocation
// space no longer exists, or when the registry no longer places its
// allocator's device on a satellite of that allocation space.

#include <cstdint>
#include <exception>
#include <sstream>
#include <string>

#include "platform/text/unicode.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {

void integrity_report::check_preallocations() {
  sqlite::statement rows(switching_db, "SELECT * FROM preallocation");
  while (rows.step()) {
    const std::int64_t allocator = rows.column_int64("allocator");
    const std::int64_t allocation_space = rows.column_int64("allocation_space");

    // Both lookups demand a known allocator: an unknown one ends the run.
    if (!allocation_space_ids.contains(allocation_space)) {
      const std::wstring moniker = managed_device_moniker(allocator, true).moniker;
      add_problem(L"A preallocation for the allocator '" + moniker + L" exists on an allocation space '" +
                      allocation_space_label(allocation_space) + L"' which no longer exists.",
                  delete_preallocation(allocator, this));
      continue;
    }
    const std::wstring moniker = managed_device_moniker(allocator, true).moniker;
    if (device_on_allocation_space(moniker, allocation_space)) continue;

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
  }
}

}  // namespace netkeep
