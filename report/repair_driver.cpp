#include <sstream>

#include "report/integrity_report.h"

namespace netkeep {

void integrity_report::repair_all(text_sink sink) {
  if (!open_databases()) return;
  for (const problem& p : problems) {
    if (!p.repair) continue;
    repair_context edit{true, false, nullptr};
    p.repair(edit);
    if (sink) {
      // The description is handed over only after its edit has succeeded.
      std::wostringstream description;
      repair_context describe{false, true, &description};
      p.repair(describe);
      sink(description.str());
    }
  }
  close_databases();
}

}  // namespace netkeep
