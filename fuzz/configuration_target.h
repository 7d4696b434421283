#pragma once
// Fuzz target: the decoding of the registry values that the configuration
// loading and the installation locator read (names, identifiers, monikers,
// inband ids, key names taken as numbers), with every type and any bytes.
// The input builds a hive of the configuration's layout, which the target
// writes to its own hive file and loads through the registry layer. A value
// that cannot be read ends the loading with win32::error and a missing
// installation with std::runtime_error, as in a command; anything else is a
// finding.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "fuzz/fuzz_input.h"
#include "platform/installation/installation.h"
#include "platform/win32/registry.h"
#include "report/integrity_report.h"

namespace netkeep::fuzz {
namespace configuration {

inline const std::string installation_section = "HKEY_LOCAL_MACHINE\\Software\\Corvanta\\Orbenta\\3.0";

// A key name: mostly short and number-like; past 127 characters it ends the
// enumeration of its parent.
inline std::string key_name(fuzz_input& input) {
  static const std::string alphabet[] = {"0", "1", "2", "5", "7", "9", "-", "+", " ", "a", "Z", ".", "\xC3\xA9", "]"};
  const std::uint8_t length_byte = input.byte();
  const std::size_t length = (length_byte & 0x80) ? 120 + (length_byte & 0x0F) : 1 + (length_byte % 20);
  std::string name;
  for (std::size_t i = 0; i < length; ++i) name += alphabet[input.byte() % std::size(alphabet)];
  return name;
}

inline std::string hex_type(std::uint32_t type) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (int shift = 28; shift >= 0; shift -= 4) text += digits[(type >> shift) & 0xF];
  return text;
}

// `"name"=hex(type):bytes` with a type and data of the input's choice.
inline std::string value_line(fuzz_input& input, const std::string& name) {
  static const std::uint32_t types[] = {1, 1, 1, 2, 3, 4, 7, 11};
  const std::uint8_t choice = input.byte();
  const std::uint32_t type = choice < 0xF0 ? types[choice % std::size(types)] : input.byte();
  const std::string data = input.short_bytes();
  static const char digits[] = "0123456789abcdef";
  std::string line = "\"" + name + "\"=hex(" + hex_type(type) + "):";
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i > 0) line += ',';
    line += digits[static_cast<unsigned char>(data[i]) >> 4];
    line += digits[static_cast<unsigned char>(data[i]) & 0xF];
  }
  return line + "\n";
}

inline std::string section(const std::string& path, const std::string& body) {
  return "[" + installation_section + (path.empty() ? "" : "\\" + path) + "]\n" + body + "\n";
}

// The hive text that the input describes.
inline std::string hive_text(fuzz_input& input) {
  std::string text = "Windows Registry Editor Version 5.00\n\n" + section("", "");
  std::string satellite = "Bandwidth\\Satellites\\1";
  std::string antenna = satellite + "\\Antennas\\1";
  std::string converter = antenna + "\\UpConverters\\1\\Modulators";
  for (int step = 0; step < 64 && !input.empty(); ++step) {
    switch (input.byte() % 9) {
      case 0:
        satellite = "Bandwidth\\Satellites\\" + key_name(input);
        text += section(satellite, "");
        break;
      case 1:
        text += section(satellite, value_line(input, "Name"));
        break;
      case 2:
        text += section(satellite + "\\Properties\\{2C3FDB10-B500-4423-947A-16D2FECA7876}", value_line(input, "Id"));
        break;
      case 3:
        antenna = satellite + "\\Antennas\\" + key_name(input);
        text += section(antenna, "");
        break;
      case 4:
        text += section(antenna, value_line(input, "Name"));
        break;
      case 5:
        converter = antenna + ((input.byte() & 1) ? "\\UpConverters\\" + key_name(input) + "\\Modulators"
                                                  : "\\DownConverters\\" + key_name(input) + "\\Demodulators");
        text += section(converter, "");
        break;
      case 6:
        text += section(converter, value_line(input, key_name(input)));
        break;
      case 7:
        text += section("Network\\Properties\\" + key_name(input) + "\\{41D79A62-C53D-45DB-8F45-F44649E27BB6}",
                        value_line(input, "Id"));
        break;
      default:
        text += section("", value_line(input, (input.byte() & 1) ? "path" : "version"));
        break;
    }
  }
  return text;
}

// The target's own hive file, named by ORBENTA_REGISTRY from the first call
// and removed with its lock file when the process exits.
inline const std::filesystem::path& hive_file() {
  struct temporary_hive {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("netkeep-fuzz-" + std::to_string(::getpid()) + ".reg");
    temporary_hive() { ::setenv("ORBENTA_REGISTRY", path.c_str(), 1); }
    ~temporary_hive() {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
      std::filesystem::remove(std::filesystem::path(path) += ".lock", ignored);
    }
  };
  static const temporary_hive file;
  return file.path;
}

}  // namespace configuration

inline void configuration_target(const std::uint8_t* data, std::size_t size) {
  namespace registry = win32::registry;
  fuzz_input input(data, size);
  std::ofstream(configuration::hive_file(), std::ios::binary | std::ios::trunc) << configuration::hive_text(input);

  auto report = std::make_shared<integrity_report>(text_sink{});
  {
    registry::key_handle key = registry::open_key(registry::local_machine(), installation::key_path, registry::generic_all);
    try {
      report->load_network_configuration(key.get());
      report->load_inband_properties(key.get());
    } catch (const win32::error&) {
    }
  }
  // The texts that name what was read.
  std::size_t characters = 0;
  for (const integrity_report::problem& problem : report->problems) characters += problem.description.size();
  for (const auto& [antenna, satellite] : report->antenna_satellites) {
    characters += report->antenna_label(antenna).size() + report->satellite_label(satellite).size();
  }
  for (const auto& [space, satellite] : report->allocation_space_satellites) {
    characters += report->allocation_space_label(space).size();
  }
  if (characters == static_cast<std::size_t>(-1)) std::abort();  // keeps the work from being optimised away

  try {
    installation::locate();
  } catch (const std::runtime_error&) {
  }
  installation::close();
}

}  // namespace netkeep::fuzz
