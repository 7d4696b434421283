#include <sstream>
#include <string>

#include "report/integrity_report.h"

namespace netkeep {
namespace {

// Fails before the first repair when the database cannot be written at all
// (a read-only file or folder, another connection's lock), so that such a
// database does not stop the repairs half-way: rewriting the schema version
// with its own value, rolled back at once, needs the same locks and journal
// as any edit.
void check_writable(sqlite::database& db) {
  std::int64_t version = 0;
  {
    sqlite::statement read(db, "PRAGMA user_version");
    if (read.step()) version = read.column_int64(0);
  }
  sqlite::transaction probe(db);
  db.exec("PRAGMA user_version = " + std::to_string(version));
}

}  // namespace

void integrity_report::repair_all(text_sink sink) {
  if (!open_databases()) return;
  for (sqlite::database* db : {&network_db, &switching_db, &redundancy_db}) check_writable(*db);
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
