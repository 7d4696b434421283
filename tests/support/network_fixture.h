#pragma once
// The small consistent network of tests/fixtures: network.reg for the
// registry and network-<database>.sql for each of the three databases.
// End-to-end tests install it and then break one thing at a time.

#include <string>

#include "tests/support/test_installation.h"

namespace netkeep::testing {

// network.reg as a hive body for test_installation::set_registry: its
// sections, without the header and the comment lines.
std::string network_registry();

// Writes network_registry() followed by `extra_registry` (more .reg
// sections) into the hive, and creates the three databases with the
// fixture's rows.
void install_network(test_installation& installation, const std::string& extra_registry = "");

// The bytes of the three database files ("|" after each, nothing for a
// missing file), to show that a command wrote nothing.
std::string database_bytes(const test_installation& installation);

}  // namespace netkeep::testing
