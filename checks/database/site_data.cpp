// The site data loading step and the site inband check. Sites are named in
// Network.db; the registry's per-site inband property links each site to
// its inband, whose state lives in Switching.db.

#include <sstream>

#include "platform/installation/installation.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {
namespace {

// "SELECT count (id) FROM inband_state WHERE id=?"
const count_question inband_state_rows{"id", "inband_state", "id"};

}  // namespace

void integrity_report::check_site_data() {
  {
    sqlite::statement rows(network_db, "SELECT id, site_name FROM site_data");
    while (rows.step()) {
      const std::int64_t id = rows.column_int64(0);
      // The first row of an id wins.
      site_names.append(id, {}, rows.column_text16(1));
    }
  }
  site_names.order();
  load_inband_properties(installation::key.get());
}

void integrity_report::check_site_inbands() {
  for (const inband_site_table::entry& inband : inband_sites) {
    if (switching_answers.count(switching_db, inband_state_rows, inband.id) != 0) continue;
    const std::int64_t site_id = inband.value;
    std::wostringstream text;
    text << L"The site " << site_label(site_id) << L" refers to a non existent inband (id: " << inband.id << L")";
    add_problem(text.str(), delete_inband_property(site_id, inband_sites.text(inband), this));
  }
  switching_answers.forget(inband_state_rows);
}

}  // namespace netkeep
