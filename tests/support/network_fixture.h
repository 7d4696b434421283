#pragma once
// A small, consistent Orbenta network for the end-to-end tests: two
// satellites with their allocation spaces, antennas and devices in the
// registry, and databases that agree with it (site North with inband 12, its
// four inband devices on satellite West, an allocation, a reservation, a
// preallocation and unrecovered resources on West's allocation space).

#include <string>

#include "tests/support/test_installation.h"

namespace netkeep::testing {

// The .reg body of the network configuration (for set_registry).
std::string consistent_registry();

// Creates the three databases and fills them to agree with
// consistent_registry().
void fill_consistent_databases(test_installation& installation);

// The bytes of the three database files ("|" after each, nothing for a
// missing file), to show that a command wrote nothing.
std::string database_bytes(const test_installation& installation);

}  // namespace netkeep::testing
