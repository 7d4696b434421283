#include <sstream>
#include <string>

#include "platform/installation/installation.h"
#include "platform/win32/registry.h"
#include "report/integrity_report.h"

namespace netkeep {
namespace {

// Fails before the first repair when the database cannot be written at all
// (a read-only file or folder, another connection that reads or writes it),
// so that such a database does not stop the repairs half-way. The exclusive
// lock waits for no other connection, and rewriting the schema version with
// its own value, rolled back at once, needs the same journal as any edit.
void check_writable(sqlite::database& db) {
  std::int64_t version = 0;
  {
    sqlite::statement read(db, "PRAGMA user_version");
    if (read.step()) version = read.column_int64(0);
  }
  sqlite::transaction probe(db, true);
  db.exec("PRAGMA user_version = " + std::to_string(version));
}

// The stores that the repairs of the correctable problems will write.
unsigned edited_stores(const std::list<integrity_report::problem>& problems) {
  unsigned edits = 0;
  for (const integrity_report::problem& p : problems) {
    if (!p.repair) continue;
    integrity_report::repair_context declare{false, false, nullptr, &edits};
    p.repair(declare);
  }
  return edits;
}

}  // namespace

void integrity_report::repair_all(text_sink sink) {
  open_databases();
  const unsigned edits = edited_stores(problems);
  if (edits & edits_network_db) check_writable(network_db);
  if (edits & edits_switching_db) check_writable(switching_db);
  if (edits & edits_redundancy_db) check_writable(redundancy_db);
  if (edits & edits_registry) win32::registry::check_write_back(installation::key.get());
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
  // The registry's repairs are made only in memory on some platforms: they
  // are done once written back.
  if (edits & edits_registry) win32::registry::flush_key(installation::key.get());
  close_databases();
}

}  // namespace netkeep
