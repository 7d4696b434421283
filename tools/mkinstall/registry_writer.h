#pragma once
// The registry part of a generated installation, written through the
// project's registry layer below the installation key.

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/win32/registry.h"
#include "tools/mkinstall/network.h"

namespace mkinstall {

// Sets a REG_SZ value: the text as UTF-16LE with its terminator.
void set_text(win32::registry::raw_key key, const std::wstring& name, const std::wstring& text);

// Sets a REG_DWORD value.
void set_dword(win32::registry::raw_key key, const std::wstring& name, std::uint32_t value);

// Creates (or opens) the installation key below HKEY_LOCAL_MACHINE and sets
// its values "path" (the installation directory) and "version".
win32::registry::key_handle write_installation_key(const std::filesystem::path& installation_directory);

// Writes below the installation key the product's other settings that every
// installation has ("System", "WebServices", "KAT").
void write_product_settings(win32::registry::raw_key installation_key);

// Writes the network configuration: the satellites with their names,
// allocation spaces, antennas, converters and device monikers below
// "Bandwidth\Satellites", and every site's inband property below
// "Network\Properties".
void write_network_configuration(win32::registry::raw_key installation_key, const network& net);

// The key path of a satellite, relative to the installation key.
std::wstring satellite_key_path(std::int64_t satellite_id);

// The key path of a site's inband property, relative to the installation key.
std::wstring inband_property_path(std::int64_t site_id);

}  // namespace mkinstall
