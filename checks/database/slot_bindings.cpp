// The slot binding logical link check: only a slot with the primary role
// (role 2) may carry a logical link to another device.

#include <sstream>

#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {

void integrity_report::check_slot_bindings() {
  // NULL roles are reported too: "IS NOT 2" holds for them.
  sqlite::statement rows(
      redundancy_db,
      "SELECT [slot.device_binding].[group], [slot], [device], [logical_link] FROM [slot.device_binding] INNER JOIN "
      "[slot] ON[slot].id = [slot.device_binding].slot WHERE logical_link iS NOT \"\" AND logical_link IS NOT "
      "\"(none)\" AND role IS NOT 2");
  while (rows.step()) {
    // A NULL link is no link, as "" and "(none)" are ("IS NOT" holds for it).
    if (rows.column_is_null(3)) continue;
    const std::int64_t group = rows.column_int64(0);
    const std::int64_t slot = rows.column_int64(1);
    std::wstring device = rows.column_text(2);
    std::wstring logical_link = rows.column_text(3);
    std::wostringstream text;
    text << L"The 'device' " << device << L" for group " << group << L" slot " << slot
         << L" has a logical link even though the slot does not have a primary role.";
    // The repair's UPDATE could never match a NULL device.
    if (rows.column_is_null(2)) {
      add_problem(text.str());
    } else {
      add_problem(text.str(), clear_logical_link(std::move(device), group, slot, this, std::move(logical_link)));
    }
  }
}

}  // namespace netkeep
