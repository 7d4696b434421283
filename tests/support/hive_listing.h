#pragma once
// A canonical listing of a test installation's registry configuration, read
// through the registry layer, for comparing hives by content.

#include <string>

#include "tests/support/test_installation.h"

namespace netkeep::testing {

// Every key below the installation key (the key itself first, as "[]"), in
// enumeration order, as "[<relative path>]" on a line of its own, followed by
// its values sorted by name, one per line: "<name> <type> <data in hex>".
// The order in which values were created does not show. Reads the hive of
// `installation` (ORBENTA_REGISTRY is pointed at it for the call).
std::string hive_listing(const test_installation& installation);

// The contents of hive text (the bytes of a hive file), for telling whether
// two hives hold the same registry: every key's full path (case kept), then
// its values sorted by name, with type and data in hex. Neither the order of
// the values (Wine keeps them sorted by name, where Windows and the
// file-backed hive keep the order of creation) nor the layout of the text
// shows. Malformed text throws as the hive reader does.
std::string hive_text_contents(const std::string& hive_text);

// Bytes as lower-case hexadecimal digits, as hive_listing shows value data.
std::string hex_bytes(const std::string& bytes);

}  // namespace netkeep::testing
