// The unrecovered resources check: a record of resources that the
// switching engine has not recovered belongs to a device that still exists
// in managed_device_map and still sits on a satellite of its allocation
// space. An error while checking one record is reported for that record.

#include <cstdint>
#include <exception>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/text/unicode.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {
namespace {

// "SELECT moniker FROM managed_device_map WHERE id = ?", the first row.
const text_question moniker_of_device{"moniker", "managed_device_map", "id"};

}  // namespace

void integrity_report::check_unrecovered_resources() {
  sqlite::statement rows(switching_db, "SELECT managed_device, allocation_space FROM unrecovered_resources");
  while (rows.step()) {
    const std::int64_t device_id = rows.column_int64(0);
    const std::int64_t allocation_space = rows.column_int64(1);
    try {
      const std::optional<std::wstring> moniker =
          switching_answers.first_text(switching_db, moniker_of_device, device_id);
      if (!moniker) {
        add_problem(L"A set of unrecovered resources was detected that are not associated with a managed device.",
                    delete_unrecovered_resources(allocation_space, device_id, this));
        continue;
      }
      if (device_on_allocation_space(*moniker, allocation_space)) continue;

      add_problem(L"A set of unrecovered resources is on an allocation space '" +
                      allocation_space_label(allocation_space) + L"' that the managed device " +
                      managed_device_moniker(device_id, false).moniker + L" is not currently associated with.",
                  delete_unrecovered_resources(allocation_space, device_id, this));
    } catch (const std::exception& error) {
      std::wostringstream description;
      description << L"An error was detected in relation to an set of unrecovered resource for allocator "
                  << managed_device_moniker(device_id, false).moniker << L" on allocation space "
                  << allocation_space << L" the erorr was: " << text::widen(error.what());
      add_problem(description.str());
    }
  }
}

}  // namespace netkeep
