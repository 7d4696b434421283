#pragma once
// Damage to the pages of a closed SQLite database file, for the faults that
// make a statement fail part-way as a damaged disk does. Both functions check
// that the file is laid out as they expect and throw std::runtime_error
// otherwise, rather than damage something else.

#include <cstdint>
#include <filesystem>

namespace mkinstall {

// Loses the last leaf of a table: the table's root page (an interior page)
// gets a right-most child pointer beyond the end of the file, so that a scan
// returns the rows of the other leaves and then fails with "database disk
// image is malformed". The last leaf must hold exactly `expected_cells` rows.
void lose_last_leaf(const std::filesystem::path& database, std::uint32_t root_page, int expected_cells);

// Breaks the overflow chain of the one record whose overflow pages are filled
// with `marker`: its first overflow page's pointer to the next one points
// beyond the end of the file, so that reading a column stored after the
// first overflow page fails, while the columns before it still read.
void break_overflow_chain(const std::filesystem::path& database, char marker);

}  // namespace mkinstall
