#pragma once
// A small, consistent satellite network for the end-to-end tests of the
// configuration and reservation checks, written inline so that each test
// shows the registry and the rows it adds.
//
//   satellite 1 'East',  allocation space 3:  antenna 10 'Dish-E'
//       up-converter 1: M1; down-converter 2: D1
//   satellite 2 'West',  allocation space 7:  antenna 20 'Dish-W'
//       up-converter 1: M2; down-converter 1: D2
//   satellite 3 'North', allocation space 11: antenna 30 'Dish-N'
//       up-converter 1: M3
//
// Switching.db knows the three allocation spaces and the managed devices
// 9 'M1', 10 'M2' and 11 'M3'. `verify` finds nothing wrong with it.

#include <string>

#include "tests/support/test_installation.h"
#include "tests/support/verify_output.h"

namespace netkeep::testing {

// .reg text in which a section written "[$\path]" stands for the key path
// below the installation key.
inline std::string reg(const std::string& text) {
  std::string expanded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, "[$\\") == 0) {
      expanded += "[" + std::string(installation_key) + "\\";
      i += 2;
    } else {
      expanded += text[i];
    }
  }
  return expanded;
}

inline const std::string base_network_registry = reg(R"(
[$\Bandwidth\Satellites\1]
"Name"="East"

[$\Bandwidth\Satellites\1\Properties\{2C3FDB10-B500-4423-947A-16D2FECA7876}]
"Id"="3"

[$\Bandwidth\Satellites\1\Antennas\10]
"Name"="Dish-E"

[$\Bandwidth\Satellites\1\Antennas\10\UpConverters\1\Modulators]
"0"="M1"

[$\Bandwidth\Satellites\1\Antennas\10\DownConverters\2\Demodulators]
"0"="D1"

[$\Bandwidth\Satellites\2]
"Name"="West"

[$\Bandwidth\Satellites\2\Properties\{2C3FDB10-B500-4423-947A-16D2FECA7876}]
"Id"="7"

[$\Bandwidth\Satellites\2\Antennas\20]
"Name"="Dish-W"

[$\Bandwidth\Satellites\2\Antennas\20\UpConverters\1\Modulators]
"0"="M2"

[$\Bandwidth\Satellites\2\Antennas\20\DownConverters\1\Demodulators]
"0"="D2"

[$\Bandwidth\Satellites\3]
"Name"="North"

[$\Bandwidth\Satellites\3\Properties\{2C3FDB10-B500-4423-947A-16D2FECA7876}]
"Id"="11"

[$\Bandwidth\Satellites\3\Antennas\30]
"Name"="Dish-N"

[$\Bandwidth\Satellites\3\Antennas\30\UpConverters\1\Modulators]
"0"="M3"
)");

inline const std::string base_network_switching =
    "INSERT INTO allocation_space (id) VALUES (3), (7), (11);"
    "INSERT INTO managed_device_map (id, moniker) VALUES (9, 'M1'), (10, 'M2'), (11, 'M3');";

// An installation holding the base network; `registry` and `switching` are
// added to it.
inline void install_configuration_network(test_installation& installation, const std::string& registry = "",
                                          const std::string& switching = "") {
  installation.set_registry(base_network_registry + reg(registry));
  installation.create_databases();
  installation.sql("Switching.db", base_network_switching + switching);
}

// How `repair`'s standard error ends when it found problems: the counts,
// the cleared spinner line of the repair phase and "repairs complete".
inline std::string repair_ending(int correctable, int uncorrectable) {
  return summary(correctable, uncorrectable) + "\r" + std::string(std::string("repairing: ").size() + 1, ' ') + "\r" +
         "repairs complete\n";
}

}  // namespace netkeep::testing
