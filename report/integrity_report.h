#pragma once
// The integrity report: the one object of a `verify` or `repair` command. It
// owns the three database connections for a run, the lookup tables that the
// loading steps and the checks share, an optional observer, and the ordered
// list of problems. Every check is an operation of the report; the checks
// live in checks/database and checks/configuration, the drivers and the
// repair actions in report/.

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sqlite/sqlite.h"
#include "platform/text/unicode.h"
#include "platform/win32/registry.h"
#include "report/id_text_table.h"
#include "report/rf_device_table.h"
#include "report/table_answers.h"

namespace netkeep {

using text_sink = std::function<void(const std::wstring&)>;

// Writes an entity's name and id into a stream; spliced into problem texts
// with operator<< below.
using entity_label = std::function<std::wostream&(std::wostream&)>;

inline std::wostream& operator<<(std::wostream& stream, const entity_label& label) { return label(stream); }

struct integrity_report {
  // The stores that repairs write, as bits of repair_context::edits.
  enum edited_store : unsigned {
    edits_network_db = 1,
    edits_switching_db = 2,
    edits_redundancy_db = 4,
    edits_registry = 8,
  };

  struct repair_context {
    bool apply = false;            // perform the edit
    bool describe = false;         // write the one-line description to *out
    std::wostream* out = nullptr;  // null when describe is false
    // When set, the action adds to *edits the stores that its edit writes.
    unsigned* edits = nullptr;
  };

  // Writes its description when asked to, then performs its edit when asked
  // to (see report/repair_actions.h).
  using repair_action = std::function<void(repair_context&)>;

  struct problem {
    std::wstring description;
    repair_action repair;  // empty when no automatic action can be taken
    bool correctable() const { return static_cast<bool>(repair); }
  };

  // Where one device moniker sits in the registry network configuration.
  using rf_device_path = netkeep::rf_device_path;

  // The names of the keys that one antenna entry was read from: its
  // satellite's key below "Bandwidth\Satellites" and its own key below the
  // satellite's "Antennas". Repairs open these names, as read.
  struct antenna_key_names {
    std::wstring satellite;
    std::wstring antenna;
  };

  // One row of bandwidth_reservation as the reservation check holds it.
  struct reservation_entry {
    std::int64_t allocation_space;
    std::int64_t managed_device;
  };
  using reservation_iterator = std::vector<reservation_entry>::const_iterator;

  using rf_device_table = netkeep::rf_device_table;
  using antenna_satellite_table = std::multimap<std::int64_t, std::int64_t>;

  // --- Lookup tables, filled by the loading steps and checks of one run.

  // Site id -> site name (site_data; the first row of an id wins).
  id_text_table<no_value> site_names;
  // Satellite id -> "Name" (the first one read wins).
  std::map<std::int64_t, std::wstring> satellite_names;
  // Antenna id -> "Name", one entry per antenna key read.
  std::multimap<std::int64_t, std::wstring> antenna_names;
  // Inband id -> site id (the value) and the name of the site key (the
  // text, below "Network\Properties") that the entry was read from, from the
  // registry's site inband properties.
  using inband_site_table = id_text_table<std::int64_t>;
  inband_site_table inband_sites;
  // Managed antenna id -> satellite of its inband's home devices.
  std::map<std::int64_t, std::int64_t> antenna_home_satellites;
  // Device moniker -> its place, one entry per moniker value read.
  rf_device_table rf_devices;
  // Antenna id -> satellite id, one entry per antenna key read.
  antenna_satellite_table antenna_satellites;
  // Antenna id -> satellite id and the key names read, entry for entry as
  // in antenna_satellites.
  std::multimap<std::int64_t, std::pair<std::int64_t, antenna_key_names>> antenna_keys;
  // The ids of the allocation_space table.
  std::set<std::int64_t> allocation_space_ids;
  // Satellite id -> allocation space id, and the same pairs the other way.
  std::multimap<std::int64_t, std::int64_t> satellite_allocation_spaces;
  std::multimap<std::int64_t, std::int64_t> allocation_space_satellites;

  // --- Connections, open only during a verification or repair run.
  sqlite::database network_db;
  sqlite::database switching_db;
  sqlite::database redundancy_db;

  // Answers to the questions that checks ask of a Switching table once per
  // row, each table read in one pass at its first question; forgotten when
  // the databases are opened or closed.
  table_answers switching_answers;

  // Hears each problem's description as it is added; may be empty.
  text_sink observer;

  // Called once a verification run has read all that it reads of the
  // registry (the network configuration and the site inbands); may be
  // empty. `verify` closes the installation key there, so that the
  // file-backed hive does not stay in memory for the rest of the run.
  std::function<void()> registry_read;

  // The problems in the order in which they were found.
  std::list<problem> problems;

  explicit integrity_report(text_sink observer);

  // --- The report model (report/integrity_report.cpp).

  void add_problem(std::wstring description);
  void add_problem(std::wstring description, repair_action repair);

  using problem_visitor = std::function<bool(const std::wstring& description, const std::wstring& recovery_action)>;
  // Visits the problems in order with each one's recovery-action text (its
  // repair's description, empty when it has none). Returns true when a
  // visitor call returned true and stopped the walk.
  bool for_each_problem(const problem_visitor& visitor) const;

  // The visitor that prints one problem block to `stream`; it always returns
  // false.
  static problem_visitor print_problem(std::wostream& stream);

  int problem_count() const;
  int correctable_count() const;
  int uncorrectable_count() const;
  // The three count lines.
  void print_summary(std::wostream& stream) const;

  // "'name' (id: n)", or "(id: n)" when the name is not known.
  entity_label site_label(std::int64_t site_id) const;
  entity_label inband_label(std::int64_t inband_id) const;

  // --- The verification driver (report/verification.cpp).

  // Opens the three database files; throws std::runtime_error("Database
  // file not found: <path>") when one is missing, before any is opened.
  void open_databases();
  void close_databases();
  // One verification run: the fixed order of loading steps and checks.
  void verify();

  // --- The repair driver (report/repair_driver.cpp).
  // Reopens the databases and, when a problem is correctable, makes sure
  // that every store that a repair will write can be written before the
  // first repair: each such database under an exclusive lock (else throws
  // the sqlite::error of a rolled-back trial write), the registry's
  // write-back (else throws what the write-back would). Then applies every
  // repair action in list order, writes the registry back when a repair
  // changed it, and closes the databases. A store that no repair writes is
  // not touched, and may be held by another program.
  void repair_all(text_sink sink);

  // --- Registry network configuration (checks/configuration/).

  // Reads "Bandwidth\Satellites" below the installation key into
  // satellite_names, satellite_allocation_spaces, allocation_space_satellites,
  // antenna_names, antenna_satellites, antenna_keys and rf_devices. A
  // satellite without a sound allocation space identifier and a moniker
  // value that is not a string are added as problems; any other registry
  // failure throws win32::error. A missing "Bandwidth\Satellites" reads as
  // no network.
  void load_network_configuration(win32::registry::raw_key installation_key);
  // Reads "Network\Properties" below the installation key into
  // inband_sites.
  void load_inband_properties(win32::registry::raw_key installation_key);
  // The satellite's name, else its id in decimal.
  std::wstring satellite_label(std::int64_t satellite_id) const;
  // The names read for the antenna id joined by " aka ", else the id.
  std::wstring antenna_label(std::int64_t antenna_id) const;

  // --- Lookups shared by the checks (checks/database/lookups.cpp).
  struct moniker_lookup {
    std::wstring moniker;  // or "<unknown(id)>" when not found
    bool found;
  };
  // Entries of rf_devices, adjacent in table order.
  using rf_device_range = std::pair<rf_device_table::const_iterator, rf_device_table::const_iterator>;
  // The entries of rf_devices with exactly this moniker, in table order.
  rf_device_range rf_device_entries(std::wstring_view moniker) const;
  // The moniker of a managed_device_map id, answered by switching_answers
  // (the table is read once per run). A missing id throws
  // std::runtime_error when `must_exist`, else gives "<unknown(id)>".
  moniker_lookup managed_device_moniker(std::int64_t id, bool must_exist);
  // Whether the first allocation space of one of the moniker's satellites is
  // `allocation_space`.
  bool device_on_allocation_space(std::wstring_view moniker, std::int64_t allocation_space) const;
  // The same of the moniker's entries, already looked up.
  bool device_on_allocation_space(const rf_device_range& entries, std::int64_t allocation_space) const;
  // The first allocation space of the satellite of each registry entry of
  // the device, in entry order (repeats kept); the device must exist.
  std::vector<std::int64_t> device_allocation_spaces(std::int64_t id);
  // The one antenna of all the entries of a moniker (rf_device_entries),
  // else -1.
  static std::int64_t device_antenna(const rf_device_range& entries);
  // The name of the allocation space's first satellite, else the allocation
  // space id in decimal.
  std::wstring allocation_space_label(std::int64_t allocation_space) const;

  // --- Database checks (checks/database/).
  void check_site_data();
  void check_site_inbands();
  void check_inband_states();
  void check_inband_channel_devices();
  void check_slot_bindings();
  void check_managed_device_map();
  void check_allocation_spaces();
  void check_allocatable_devices();

  // --- Configuration and reservation checks (checks/configuration/).
  // Each adds its problems in table order; unless said otherwise, an
  // exception (sqlite::error, a failed lookup) ends the verification run.

  // Antennas that `table` (antenna_satellites) lists under several
  // satellites, in runs of entries for which `same_antenna` holds. When
  // antenna_home_satellites names one of the listed satellites, the repair
  // deletes the antenna's keys (antenna_keys) below every other listed
  // satellite; otherwise the problem is uncorrectable.
  using antenna_satellite_predicate =
      std::function<bool(const antenna_satellite_table::value_type&, const antenna_satellite_table::value_type&)>;
  void check_shared_antennas(const antenna_satellite_table& table, const antenna_satellite_predicate& same_antenna);
  // Monikers of [first, end) of rf_devices, in runs for which
  // `same_moniker` holds, that sit under more than one antenna.
  // Uncorrectable.
  using rf_device_predicate =
      std::function<bool(const rf_device_table::value_type&, const rf_device_table::value_type&)>;
  void check_device_rf_chains(rf_device_table::const_iterator first, rf_device_table::const_iterator end,
                              const rf_device_predicate& same_moniker);
  // Several allocations of one allocator on one allocation space, and
  // allocations on allocation spaces that the device is not on (repair:
  // unlink and delete the allocation). Any standard exception becomes a
  // problem: for one allocation, or for the whole check.
  void check_allocations();
  // Unrecovered resources of unknown devices or on allocation spaces that
  // the device is not on (repair: delete them). An error while checking a
  // row becomes a problem for that row.
  void check_unrecovered_resources();
  // Preallocations on allocation spaces missing from allocation_space_ids
  // (fill it first) or that the device is not on (repair: delete the
  // allocator's preallocations). An allocator missing from
  // managed_device_map throws "Allocator not found in managed device map.".
  void check_preallocations();
  // One run of consecutive bandwidth_reservation rows of the same managed
  // device: reports a device missing from managed_device_map, or one that
  // no inband channel and no out-of-band state uses (repair: delete its
  // reservations and preallocations). At most one problem.
  void check_device_reservations(reservation_iterator first, reservation_iterator end);
};

using repair_action = integrity_report::repair_action;

// The work of the analysis phase of `verify` and `repair`: runs verify() with
// `observer` in place of the report's own; true when problems were found.
bool analyze(std::shared_ptr<integrity_report> report, text_sink observer);

}  // namespace netkeep
