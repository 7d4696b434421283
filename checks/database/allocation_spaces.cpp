// The allocation space check: every allocation space of the Switching
// database must belong to exactly one satellite of the registry network
// configuration. Records the ids of all allocation spaces for the
// preallocation check. Errors do not end the verification run here: they
// become problems.

#include <exception>
#include <sstream>

#include "platform/text/unicode.h"
#include "report/integrity_report.h"

namespace netkeep {
namespace {

std::wstring error_message(const std::exception& error) {
  const char* what = error.what();
  return text::widen(what != nullptr && *what != '\0' ? what : "Unknown exception");
}

}  // namespace

void integrity_report::check_allocation_spaces() {
  try {
    sqlite::statement rows(switching_db, "SELECT id FROM allocation_space");
    while (rows.step()) {
      const std::int64_t id = rows.column_int64(0);
      allocation_space_ids.insert(id);
      try {
        const auto [first, end] = allocation_space_satellites.equal_range(id);
        const auto satellites = std::distance(first, end);
        if (satellites == 1) continue;
        std::wostringstream text;
        text << L"The allocation space with the id " << id;
        if (satellites == 0) {
          text << L" is not associated " << L"with a satellite.";
        } else {
          text << L" is associated with the satellites with the ids ";
          for (auto entry = first; entry != end; ++entry) {
            if (entry != first) text << L", ";
            text << entry->second;
          }
        }
        add_problem(text.str());
      } catch (const std::exception& error) {
        std::wostringstream text;
        text << L"Encountered an error while attempting to verify the validity of the "
             << L"allocation space with the id " << id << L". The description of the " << L"error is " << L'"'
             << error_message(error) << L'"' << L'.';
        add_problem(text.str());
      }
    }
  } catch (const std::exception& error) {
    std::wostringstream text;
    text << L"A low level error occurred while attempting the scan switching engine allocation"
         << L"spaces. The description of the error is " << L'"' << error_message(error) << L'"' << L'.';
    add_problem(text.str());
  }
}

}  // namespace netkeep
