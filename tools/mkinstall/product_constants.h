#pragma once
// Names and values of the product's configuration that the generated
// installations use in the registry and the databases.

#include <cstdint>
#include <string>
#include <vector>

namespace mkinstall {

// Registry key of a site's inband property (below Network\Properties\<site>)
// and of a satellite's allocation space property (below its Properties key).
inline constexpr const wchar_t* inband_property_key = L"{41D79A62-C53D-45DB-8F45-F44649E27BB6}";
inline constexpr const wchar_t* allocation_space_property_key = L"{2C3FDB10-B500-4423-947A-16D2FECA7876}";

// Slot roles of the redundancy database.
inline constexpr int primary_role = 2;
inline constexpr int backup_role = 1;

// The 16 bytes of the inband property's GUID as the property table stores
// it (the first three fields little-endian).
std::string inband_property_guid();

// The stored value of a site's inband property: the inband id as UTF-16LE
// text.
std::string inband_property_value(std::int64_t inband);

// The GUIDs (16 bytes each) of the other properties every site has.
const std::vector<std::string>& other_property_guids();

}  // namespace mkinstall
