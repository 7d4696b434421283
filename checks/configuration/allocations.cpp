// The allocation check: an allocator holds at most one allocation per
// allocation space, and only on allocation spaces of the satellites that
// the registry places its device on.

#include <algorithm>
#include <compare>
#include <cstdint>
#include <exception>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text/unicode.h"
#include "report/device_groups.h"
#include "report/integrity_report.h"
#include "report/repair_actions.h"

namespace netkeep {
namespace {

// One row of `allocation`, ordered by allocator, then allocation space, then
// id.
struct allocation_entry {
  std::int64_t allocator;
  std::int64_t allocation_space;
  std::int64_t id;
  auto operator<=>(const allocation_entry&) const = default;
};

using entry_iterator = std::vector<allocation_entry>::const_iterator;

// An entry as the check takes it: with the moniker of its allocator, or the
// error of looking it up, and the end of its run of one allocator on one
// allocation space.
struct allocation_item {
  entry_iterator entry;
  bool starts_run;
  entry_iterator run_end;
  std::wstring moniker;
  std::exception_ptr failure;
};

std::vector<allocation_entry> read_allocations(const sqlite::database& db) {
  std::vector<allocation_entry> entries;
  sqlite::statement rows(db, "SELECT id,allocator,allocation_space FROM allocation");
  while (rows.step()) entries.push_back({rows.column_int64(1), rows.column_int64(2), rows.column_int64(0)});
  return entries;
}

// Reads the chain links of allocations, one row at a time: a damaged row
// must fail when its own run is checked, not before. Each statement is
// prepared at its first use and then reused.
class chain_link_reader {
 public:
  explicit chain_link_reader(const sqlite::database& db) : db_(db) {}

  // The values are not reported; a failing read ends the check like any
  // other low level error.
  void read(std::int64_t allocation_id) {
    static constexpr const char* queries[2] = {"SELECT past   FROM allocation WHERE id = ?",
                                               "SELECT future FROM allocation WHERE id = ?"};
    for (std::size_t i = 0; i < 2; ++i) {
      if (!links_[i]) links_[i].emplace(db_, queries[i]);
      sqlite::statement& link = *links_[i];
      link.bind_int64(1, allocation_id);
      if (link.step()) link.column_int64(0);
      link.reset();
    }
  }

 private:
  const sqlite::database& db_;
  std::optional<sqlite::statement> links_[2];
};

}  // namespace

void integrity_report::check_allocations() {
  try {
    std::vector<allocation_entry> entries = read_allocations(switching_db);
    std::sort(entries.begin(), entries.end());
    chain_link_reader chain_links(switching_db);

    // The entries in sorted order, each with the moniker of its allocator or
    // the error of looking it up, and whether it starts a run of one
    // allocator on one allocation space.
    entry_iterator next_entry = entries.cbegin();
    entry_iterator run_end = entries.cbegin();
    const auto next = [&](allocation_item& item) {
      if (next_entry == entries.cend()) return false;
      item.entry = next_entry;
      item.starts_run = next_entry == run_end;
      if (item.starts_run) {
        while (run_end != entries.cend() && run_end->allocator == next_entry->allocator &&
               run_end->allocation_space == next_entry->allocation_space) {
          ++run_end;
        }
      }
      item.run_end = run_end;
      item.moniker.clear();
      item.failure = nullptr;
      try {
        item.moniker = managed_device_moniker(next_entry->allocator, true).moniker;
      } catch (const std::exception&) {
        item.failure = std::current_exception();
      }
      ++next_entry;
      return true;
    };

    const auto check = [&](const allocation_item& item, const rf_device_range& devices) {
      if (item.starts_run && std::distance(item.entry, item.run_end) > 1) {
        for (entry_iterator e = item.entry; e != item.run_end; ++e) chain_links.read(e->id);
        std::wostringstream description;
        description << L"Multiple allocations where detected for '"
                    << managed_device_moniker(item.entry->allocator, false).moniker << L"'. The allocations where:\n";
        for (entry_iterator e = item.entry; e != item.run_end; ++e) {
          description << L"\t" << e->id << L" on allocation space " << e->allocation_space << L".\n";
        }
        add_problem(description.str());
      }

      const entry_iterator e = item.entry;
      try {
        if (item.failure) std::rethrow_exception(item.failure);
        if (device_on_allocation_space(devices, e->allocation_space)) return;

        std::wostringstream description;
        description << L"An allocation with the id " << e->id << L" located in the allocation space '"
                    << allocation_space_label(e->allocation_space) << L"' was found for '"
                    << managed_device_moniker(e->allocator, false).moniker
                    << L"'. This is not the allocation space the device is currently associated with.\n";
        const std::vector<std::int64_t> current = device_allocation_spaces(e->allocator);
        if (current.empty()) {
          description << L"    There is no allocated space currently associated with this device.";
        } else if (current.size() == 1) {
          description << L"    The currently associated allocation space has the id of " << current.front() << L".";
        } else {
          description << L"    There currently multiple associated allocation spaces.";
        }
        add_problem(description.str(), delete_allocation(e->id, this));
      } catch (const std::exception& error) {
        std::wostringstream description;
        description << L"Encountered an error while attempting to verify the validity of the allocation with the id "
                    << e->id << L" made by the allocator with the id " << e->allocator
                    << L" on the allocation space with the id " << e->allocation_space
                    << L". The description of the error is \"" << text::widen(error.what()) << L"\".";
        add_problem(description.str());
      }
    };
    check_with_devices<allocation_item>(rf_devices, next, check);
  } catch (const std::exception& error) {
    add_problem(L"A low level error occurred while attempting the scan switching engine allocations. "
                L"The error reported was: " +
                text::widen(error.what()));
  }
}

}  // namespace netkeep
