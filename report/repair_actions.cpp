// The ten repair actions. Each is a closure over copies of the values it
// needs; describing and editing are independent, so the listing of `verify`
// can describe an action without touching anything.

#include "report/repair_actions.h"

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>

#include "checks/configuration/key_numbers.h"
#include "platform/installation/installation.h"
#include "platform/sqlite/sqlite.h"
#include "platform/win32/registry.h"

namespace netkeep {
namespace {

using registry_key = win32::registry::key_handle;

// An action that names the stores its edit writes (`edits`, bits of
// integrity_report::edited_store) when asked to, writes its description
// with `describe(stream)` when asked to, then performs `edit()` when asked to.
template <class Describe, class Edit>
repair_action make_action(unsigned edits, Describe describe, Edit edit) {
  return [edits, describe = std::move(describe), edit = std::move(edit)](integrity_report::repair_context& context) {
    if (context.edits != nullptr) *context.edits |= edits;
    if (context.describe) describe(*context.out);
    if (context.apply) edit();
  };
}

// Prepares `sql`, binds `values` to the parameters 1, 2, ... as 64-bit
// integers, steps once and finalizes.
void execute(const sqlite::database& db, const char* sql, std::initializer_list<std::int64_t> values) {
  sqlite::statement statement(db, sql);
  int index = 1;
  for (std::int64_t value : values) statement.bind_int64(index++, value);
  statement.step();
}

// The first column of the first row of `sql` for parameter 1 = `id`; a
// missing row and NULL read as 0.
std::int64_t query_int64(const sqlite::database& db, const char* sql, std::int64_t id) {
  sqlite::statement statement(db, sql);
  statement.bind_int64(1, id);
  return statement.step() ? statement.column_int64(0) : 0;
}

// The site property that holds a site's inband, as the registry key name
// and as the blob of the GUID in its binary layout (the first three fields
// little-endian).
constexpr const wchar_t* inband_property_key = L"{41D79A62-C53D-45DB-8F45-F44649E27BB6}";
constexpr unsigned char inband_property_guid[16] = {0x62, 0x9A, 0xD7, 0x41, 0x3D, 0xC5, 0xDB, 0x45,
                                                    0x8F, 0x45, 0xF4, 0x46, 0x49, 0xE2, 0x7B, 0xB6};

constexpr const wchar_t* sites_key = L"Network\\Properties";
// The name buffer of the loading's enumerations, terminator included.
constexpr std::uint32_t name_buffer_chars = 128;

// Whether a site key below `sites` other than `site_key` that names the same
// site id ("07" and "7") holds an inband property. The subkeys are
// enumerated as the loading enumerates them.
bool other_site_key_holds_inband(win32::registry::raw_key sites, std::int64_t site_id, const std::wstring& site_key) {
  std::wstring name;
  for (std::uint32_t index = 0;; ++index) {
    if (win32::registry::enum_key(sites, index, name, name_buffer_chars) != win32::error_success) return false;
    if (name == site_key || key_number64(name) != site_id) continue;
    try {
      win32::registry::open_key(sites, name + L"\\" + inband_property_key, win32::registry::generic_read);
      return true;
    } catch (const win32::error&) {
      // This key of the site holds no inband property.
    }
  }
}

}  // namespace

repair_action clear_inband_channel_binding(std::wstring role, std::string column, std::int64_t inband_id,
                                           std::int32_t number, integrity_report* report) {
  return make_action(
      integrity_report::edits_switching_db,
      [role, inband_id](std::wostream& out) {
        out << L"Clear " << role << L" binding for the site with the id " << inband_id << L".";
      },
      [column, inband_id, number, report] {
        sqlite::statement update(report->switching_db,
                                 "UPDATE inband_channel SET " + column + " = '(none)' WHERE inband=? AND number=?");
        update.bind_int64(1, inband_id);
        update.bind_int(2, number);
        update.step();
      });
}

repair_action clear_logical_link(std::wstring device, std::int64_t group, std::int64_t slot,
                                 integrity_report* report, std::wstring logical_link) {
  return make_action(
      integrity_report::edits_redundancy_db,
      [device, group, slot](std::wostream& out) {
        out << L"Clear logical link for device " << device << L"in group " << group << L" slot" << slot << L".";
      },
      [device, group, slot, report, logical_link] {
        {
          sqlite::statement update(report->redundancy_db,
                                   "UPDATE [slot.device_binding] SET [logical_link] = \"(none)\" "
                                   "WHERE [device]=? AND [group]=? AND [slot]=?");
          update.bind_text(1, device);
          update.bind_int64(2, group);
          update.bind_int64(3, slot);
          update.step();
        }
        // The linked device's stored configuration goes with the link.
        sqlite::statement remove(report->redundancy_db, "DELETE FROM [device_configuration] WHERE [device]=?");
        remove.bind_text(1, logical_link);
        remove.step();
      });
}

repair_action delete_inband_property(std::int64_t site_id, std::wstring site_key, integrity_report* report) {
  return make_action(
      integrity_report::edits_registry | integrity_report::edits_network_db,
      [site_id](std::wostream& out) {
        out << L"Delete the inband property entry for the site with the id " << site_id;
      },
      [site_id, site_key, report] {
        registry_key sites =
            win32::registry::open_key(installation::key.get(), sites_key, win32::registry::generic_read);
        {
          registry_key site = win32::registry::open_key(sites.get(), site_key, win32::registry::generic_write);
          win32::registry::delete_key(site.get(), inband_property_key);
        }
        if (other_site_key_holds_inband(sites.get(), site_id, site_key)) return;
        sqlite::statement remove(report->network_db, "DELETE FROM property WHERE id=? and property_name=?");
        remove.bind_int64(1, site_id);
        remove.bind_blob(2, inband_property_guid, sizeof inband_property_guid);
        remove.step();
      });
}

repair_action delete_antenna(std::int64_t antenna_id, std::vector<std::int64_t> satellite_ids,
                             std::vector<integrity_report::antenna_key_names> keys) {
  return make_action(
      keys.empty() ? 0u : unsigned{integrity_report::edits_registry},
      [antenna_id, satellite_ids](std::wostream& out) {
        out << L"Delete the antenna the id " << antenna_id << L" from the satellite(s) with the id(s) ";
        for (std::size_t i = 0; i < satellite_ids.size(); ++i) {
          if (i > 0) out << L", ";
          out << satellite_ids[i];
        }
      },
      [keys] {
        for (const integrity_report::antenna_key_names& key : keys) {
          registry_key antennas = win32::registry::open_key(
              win32::registry::local_machine(),
              std::wstring(installation::key_path) + L"\\Bandwidth\\Satellites\\" + key.satellite + L"\\Antennas",
              win32::registry::generic_all);
          {
            registry_key antenna = win32::registry::open_key(antennas.get(), key.antenna, win32::registry::generic_all);
            win32::registry::delete_subkeys(antenna.get());
          }
          win32::registry::delete_key(antennas.get(), key.antenna);
        }
      });
}

repair_action delete_managed_device_entry(std::int64_t managed_device_id, integrity_report* report) {
  return make_action(
      integrity_report::edits_switching_db,
      [managed_device_id](std::wostream& out) {
        out << L"Delete the managed device entry with the id " << managed_device_id;
      },
      [managed_device_id, report] {
        execute(report->switching_db, "DELETE FROM managed_device_map WHERE id = ? ", {managed_device_id});
      });
}

repair_action delete_unrecovered_resources(std::int64_t allocation_space_id, std::int64_t managed_device_id,
                                           integrity_report* report) {
  return make_action(
      integrity_report::edits_switching_db,
      [allocation_space_id, managed_device_id](std::wostream& out) {
        out << L"Delete the unrecovered resources on the allocation space with the id " << allocation_space_id
            << L" associated with the managed device with the id " << managed_device_id;
      },
      [allocation_space_id, managed_device_id, report] {
        execute(report->switching_db,
                "DELETE FROM unrecovered_resources WHERE allocation_space = ? AND managed_device = ?",
                {allocation_space_id, managed_device_id});
      });
}

repair_action delete_allocatable_device(std::wstring moniker, integrity_report* report,
                                        std::int64_t allocation_space_id, std::int64_t row_id) {
  return make_action(
      integrity_report::edits_switching_db,
      [moniker, report, allocation_space_id](std::wostream& out) {
        out << L"Delete the allocatable device '" << moniker << L"' from the satellite '"
            << report->allocation_space_label(allocation_space_id) << L"'.";
      },
      [report, row_id] {
        sqlite::transaction transaction(report->switching_db);
        execute(report->switching_db, "DELETE FROM allocatable_device WHERE rowid = ?", {row_id});
        transaction.commit();
      });
}

repair_action delete_reservation(std::int64_t allocator_id, integrity_report* report) {
  return make_action(
      integrity_report::edits_switching_db,
      [allocator_id](std::wostream& out) {
        out << L"Delete the reservation for the allocator with the id " << allocator_id;
      },
      [allocator_id, report] {
        // A reservation never goes without its preallocations.
        sqlite::transaction transaction(report->switching_db);
        execute(report->switching_db, "DELETE FROM preallocation WHERE allocator = ?", {allocator_id});
        execute(report->switching_db, "DELETE FROM bandwidth_reservation WHERE managed_device = ?", {allocator_id});
        transaction.commit();
      });
}

repair_action delete_preallocation(std::int64_t allocator_id, integrity_report* report) {
  return make_action(
      integrity_report::edits_switching_db,
      [allocator_id](std::wostream& out) {
        out << L"Delete the pre-allocation for the allocator with the id " << allocator_id;
      },
      [allocator_id, report] {
        sqlite::transaction transaction(report->switching_db);
        execute(report->switching_db, "DELETE FROM preallocation WHERE allocator = ?", {allocator_id});
        transaction.commit();
      });
}

repair_action delete_allocation(std::int64_t allocation_id, integrity_report* report) {
  return make_action(
      integrity_report::edits_switching_db,
      [allocation_id](std::wostream& out) { out << L"Delete the allocation with the id " << allocation_id; },
      [allocation_id, report] {
        // Allocations form doubly linked chains through past and future (0
        // for none): the neighbours are joined before the allocation goes.
        const sqlite::database& db = report->switching_db;
        sqlite::transaction transaction(report->switching_db);
        const std::int64_t past = query_int64(db, "SELECT past   FROM allocation WHERE id = ?", allocation_id);
        const std::int64_t future = query_int64(db, "SELECT future FROM allocation WHERE id = ?", allocation_id);
        if (past != 0) execute(db, "UPDATE allocation SET future = ? WHERE id = ?", {future, past});
        if (future != 0) execute(db, "UPDATE allocation SET past   = ? WHERE id = ?", {past, future});
        execute(db, "DELETE FROM allocation WHERE id = ?", {allocation_id});
        transaction.commit();
      });
}

}  // namespace netkeep
