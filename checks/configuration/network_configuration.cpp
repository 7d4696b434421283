// Reading the registry network configuration into the report's tables: the
// satellites with their allocation spaces, antennas, converters and the
// device monikers below them, and the inband of each site. The reading never
// changes the registry. A corrupt allocation space identifier and a corrupt
// device moniker are reported as problems as they are met; every other
// failure to read an existing key or value ends the run.

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "checks/configuration/identifier_pattern.h"
#include "checks/configuration/key_numbers.h"
#include "platform/text/unicode.h"
#include "report/integrity_report.h"

namespace netkeep {
namespace {

namespace registry = win32::registry;

// Name buffers of the enumerations, in wide characters with the terminator:
// a longer name ends the enumeration of its parent.
constexpr std::uint32_t name_buffer_chars = 128;

// Buffers of the values read, in bytes with the terminator.
constexpr std::uint32_t satellite_name_bytes = 128;
constexpr std::uint32_t identifier_bytes = 128;
constexpr std::uint32_t antenna_name_bytes = 512;
constexpr std::uint32_t moniker_bytes = 256;
constexpr std::uint32_t max_value_bytes = 512;  // the largest of these

constexpr const wchar_t* allocation_space_property = L"Properties\\{2C3FDB10-B500-4423-947A-16D2FECA7876}";
constexpr const wchar_t* inband_property = L"{41D79A62-C53D-45DB-8F45-F44649E27BB6}";

// Opens `path` below `parent` for reading; an empty handle when that fails.
registry::key_handle open_if_present(registry::raw_key parent, const std::wstring& path) {
  try {
    return registry::open_key(parent, path, registry::generic_read);
  } catch (const win32::error&) {
    return {};
  }
}

// Calls visit(name) for the subkeys of `key` in enumeration order, up to the
// first enumeration that does not succeed.
template <class Visit>
void for_each_subkey(registry::raw_key key, Visit visit) {
  std::wstring name;  // reused: most names fit the previous one's storage
  for (std::uint32_t index = 0;; ++index) {
    if (registry::enum_key(key, index, name, name_buffer_chars) != win32::error_success) return;
    visit(name);
  }
}

struct text_value {
  std::uint32_t type;
  std::wstring text;  // up to the first zero character
};

// The text of data read into `buffer`: up to the first zero character.
text_value to_text(const char* buffer, const registry::value_info& info) {
  std::wstring text = text::from_utf16le(std::string_view(buffer, info.size));
  const std::size_t end = text.find(L'\0');
  if (end != std::wstring::npos) text.resize(end);
  return {info.type, std::move(text)};
}

// Reads a value of at most `buffer_bytes` bytes as text, whatever its type.
text_value read_text(registry::raw_key key, const std::wstring& name, std::uint32_t buffer_bytes) {
  std::array<char, max_value_bytes> buffer;
  if (buffer_bytes > buffer.size()) throw std::logic_error("registry value buffer too large");
  return to_text(buffer.data(), registry::query_value(key, name, buffer.data(), buffer_bytes));
}

// Calls visit(value) for the values of `key` in enumeration order, each read
// as by read_text with `buffer_bytes`, up to the first enumeration that does
// not succeed. Name and data come in one call. A value that this call does
// not return whole (a name or data too large for its buffer, any other
// failure) is enumerated again by name alone and then queried, and so is one
// whose name holds a zero character (a query by name reads the name only up
// to it): the enumeration then ends, or the query fails, exactly where an
// enumeration of names followed by a query of each would.
template <class Visit>
void for_each_text_value(registry::raw_key key, std::uint32_t buffer_bytes, Visit visit) {
  std::array<char, max_value_bytes> buffer;
  if (buffer_bytes > buffer.size()) throw std::logic_error("registry value buffer too large");
  std::wstring name;
  registry::value_info info{};
  for (std::uint32_t index = 0;; ++index) {
    const std::uint32_t result =
        registry::enum_value_with_data(key, index, name, name_buffer_chars, buffer.data(), buffer_bytes, info);
    if (result == win32::error_no_more_items) return;
    if (result == win32::error_success && name.find(L'\0') == std::wstring::npos) {
      visit(to_text(buffer.data(), info));
      continue;
    }
    if (registry::enum_value(key, index, name, name_buffer_chars) != win32::error_success) return;
    visit(read_text(key, name, buffer_bytes));
  }
}

// The allocation space id stored in the satellite's property key; throws
// a standard runtime error when it is not a well-formed identifier.
std::int64_t read_allocation_space_id(registry::raw_key property) {
  const text_value id = read_text(property, L"Id", identifier_bytes);
  if (id.type != registry::reg_sz) throw std::runtime_error("Illegal value type used to store identifier.");
  if (!is_identifier(id.text)) throw std::runtime_error("Illegal characters in identifier.");
  return key_number64(id.text);
}

// Reads the satellite's name and allocation space id.
void read_satellite(integrity_report& report, registry::raw_key satellite, std::int64_t satellite_id) {
  report.satellite_names.emplace(satellite_id, read_text(satellite, L"Name", satellite_name_bytes).text);

  registry::key_handle property = open_if_present(satellite, allocation_space_property);
  if (!property) {
    report.add_problem(L"The satellite '" + report.satellite_label(satellite_id) +
                       L"' does not have an allocation space associated with it.");
    return;
  }
  try {
    const std::int64_t space = read_allocation_space_id(property.get());
    report.satellite_allocation_spaces.emplace(satellite_id, space);
    report.allocation_space_satellites.emplace(space, satellite_id);
  } catch (const std::exception& failure) {
    report.add_problem(L"The satellite with the id of " + std::to_wstring(satellite_id) +
                       L" has a corrupt allocation space identifier." +
                       L" The following error occurred while attempting to read it: " + text::widen(failure.what()));
  }
}

// Keeps a moniker read at `path`, or reports it when it is not a plain
// string. The monikers are appended to rf_devices in the order read and put
// in moniker order once all are read, so that the places of one moniker
// keep the order in which they were read.
void read_moniker(integrity_report& report, text_value moniker,
                  const integrity_report::rf_device_path& path) {
  if (moniker.type != registry::reg_sz) {
    report.add_problem(L"A corrupt device moniker was found in the " +
                       std::wstring(path.up_converter ? L"up" : L"down") + L"-converter with the id " +
                       std::to_wstring(path.converter_id) + L" located in the antenna '" +
                       report.antenna_label(path.antenna_id) + L"' located in the satellite '" +
                       report.satellite_label(path.satellite_id) + L"'");
    return;
  }
  report.rf_devices.append(moniker.text, path);
}

// Reads the up-converters and their modulators, or the down-converters and
// their demodulators, of one antenna.
void read_converters(integrity_report& report, registry::raw_key antenna,
                     std::int64_t satellite_id, std::int64_t antenna_id, bool up_converter) {
  registry::key_handle converters = open_if_present(antenna, up_converter ? L"UpConverters" : L"DownConverters");
  if (!converters) return;
  for_each_subkey(converters.get(), [&](const std::wstring& converter_name) {
    registry::key_handle converter = registry::open_key(converters.get(), converter_name, registry::generic_read);
    const integrity_report::rf_device_path path{satellite_id, antenna_id, up_converter, key_number32(converter_name)};
    registry::key_handle devices = open_if_present(converter.get(), up_converter ? L"Modulators" : L"Demodulators");
    if (!devices) return;
    for_each_text_value(devices.get(), moniker_bytes,
                        [&](text_value moniker) { read_moniker(report, std::move(moniker), path); });
  });
}

void read_antenna(integrity_report& report, registry::raw_key antenna,
                  std::int64_t satellite_id, const std::wstring& satellite_name, const std::wstring& antenna_name) {
  const std::int64_t antenna_id = key_number32(antenna_name);
  report.antenna_names.emplace(antenna_id, read_text(antenna, L"Name", antenna_name_bytes).text);
  report.antenna_satellites.emplace(antenna_id, satellite_id);
  report.antenna_keys.emplace(antenna_id,
                              std::pair(satellite_id, integrity_report::antenna_key_names{satellite_name, antenna_name}));
  read_converters(report, antenna, satellite_id, antenna_id, true);
  read_converters(report, antenna, satellite_id, antenna_id, false);
}

}  // namespace

void integrity_report::load_network_configuration(win32::registry::raw_key installation_key) {
  registry::key_handle satellites = open_if_present(installation_key, L"Bandwidth\\Satellites");
  if (!satellites) return;
  for_each_subkey(satellites.get(), [&](const std::wstring& satellite_name) {
    registry::key_handle satellite = registry::open_key(satellites.get(), satellite_name, registry::generic_read);
    const std::int64_t satellite_id = key_number64(satellite_name);
    read_satellite(*this, satellite.get(), satellite_id);

    registry::key_handle antennas = open_if_present(satellite.get(), L"Antennas");
    if (!antennas) return;
    for_each_subkey(antennas.get(), [&](const std::wstring& antenna_name) {
      registry::key_handle antenna = registry::open_key(antennas.get(), antenna_name, registry::generic_read);
      read_antenna(*this, antenna.get(), satellite_id, satellite_name, antenna_name);
    });
  });
  rf_devices.order();
}

void integrity_report::load_inband_properties(win32::registry::raw_key installation_key) {
  registry::key_handle sites = open_if_present(installation_key, L"Network\\Properties");
  if (!sites) return;
  for_each_subkey(sites.get(), [&](const std::wstring& site_name) {
    registry::key_handle site = registry::open_key(sites.get(), site_name, registry::generic_read);
    registry::key_handle property = open_if_present(site.get(), inband_property);
    if (!property) return;
    // Neither the type nor the characters of this id are examined.
    const std::wstring inband = read_text(property.get(), L"Id", identifier_bytes).text;
    // The first site key read for an inband wins, with its name.
    inband_sites.append(key_number64(inband), key_number64(site_name), site_name);
  });
  inband_sites.order();
}

}  // namespace netkeep
