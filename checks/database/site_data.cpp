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
      // The first row of an id wins. Rows come in id order when id is the
      // table's key, and then each one goes to the end of the map at once.
      site_names.emplace_hint(site_names.end(), id, rows.column_text(1));
    }
  }
  load_inband_properties(installation::key.get());
}

void integrity_report::check_site_inbands() {
  for (const auto& [inband_id, site_id] : inband_sites) {
    if (switching_answers.count(switching_db, inband_state_rows, inband_id) != 0) continue;
    std::wostringstream text;
    text << L"The site " << site_label(site_id) << L" refers to a non existent inband (id: " << inband_id << L")";
    add_problem(text.str(), delete_inband_property(site_id, inband_site_keys.at(inband_id), this));
  }
  switching_answers.forget(inband_state_rows);
}

}  // namespace netkeep
