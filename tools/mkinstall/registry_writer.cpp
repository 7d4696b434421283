#include "tools/mkinstall/registry_writer.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/installation/installation.h"
#include "platform/text/unicode.h"
#include "tools/mkinstall/product_constants.h"

namespace mkinstall {
namespace {

namespace registry = win32::registry;

// The product version that the installation key records.
constexpr const wchar_t* product_version = L"3.16.4.1526";

void write_converters(registry::raw_key antenna_key, const network& net, const std::vector<int>& converters,
                      bool up) {
  if (converters.empty()) return;
  registry::key_handle list = registry::create_key(antenna_key, up ? L"UpConverters" : L"DownConverters");
  for (int index : converters) {
    const converter& c = net.converters[index];
    registry::key_handle converter_key = registry::create_key(list.get(), std::to_wstring(c.id));
    registry::key_handle devices = registry::create_key(converter_key.get(), up ? L"Modulators" : L"Demodulators");
    int number = 0;
    for (int device_index : c.devices) {
      set_text(devices.get(), L"Device" + std::to_wstring(++number), net.devices[device_index].moniker);
    }
  }
}

}  // namespace

void set_text(registry::raw_key key, const std::wstring& name, const std::wstring& text) {
  std::string data = netkeep::text::to_utf16le(text);
  data.append(2, '\0');
  registry::set_value(key, name, registry::reg_sz, data.data(), static_cast<std::uint32_t>(data.size()));
}

void set_dword(registry::raw_key key, const std::wstring& name, std::uint32_t value) {
  const unsigned char data[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                 static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  registry::set_value(key, name, registry::reg_dword, data, sizeof data);
}

registry::key_handle write_installation_key(const std::filesystem::path& installation_directory) {
  registry::key_handle key = registry::create_key(registry::local_machine(), netkeep::installation::key_path);
  set_text(key.get(), L"path", netkeep::text::from_path(installation_directory));
  set_text(key.get(), L"version", product_version);
  return key;
}

void write_product_settings(registry::raw_key installation_key) {
  registry::key_handle system = registry::create_key(installation_key, L"System");
  set_text(system.get(), L"NodeName", L"ORB-HUB-01");
  set_dword(system.get(), L"LogLevel", 2);
  registry::key_handle web = registry::create_key(installation_key, L"WebServices");
  set_dword(web.get(), L"Port", 8443);
  set_text(web.get(), L"Certificate", L"orbenta-hub.pem");
  registry::key_handle kat = registry::create_key(installation_key, L"KAT");
  set_text(kat.get(), L"LocalAddress", L"10.20.0.1");
  set_dword(kat.get(), L"Interval", 30);
}

std::wstring satellite_key_path(std::int64_t satellite_id) {
  return L"Bandwidth\\Satellites\\" + std::to_wstring(satellite_id);
}

std::wstring inband_property_path(std::int64_t site_id) {
  return L"Network\\Properties\\" + std::to_wstring(site_id) + L"\\" + inband_property_key;
}

void write_network_configuration(registry::raw_key installation_key, const network& net) {
  for (const satellite& sat : net.satellites) {
    registry::key_handle sat_key = registry::create_key(installation_key, satellite_key_path(sat.id));
    set_text(sat_key.get(), L"Name", sat.name);
    registry::key_handle space =
        registry::create_key(sat_key.get(), std::wstring(L"Properties\\") + allocation_space_property_key);
    set_text(space.get(), L"Id", std::to_wstring(sat.allocation_space));
    registry::key_handle antennas = registry::create_key(sat_key.get(), L"Antennas");
    for (int index : sat.antennas) {
      const antenna& a = net.antennas[index];
      registry::key_handle antenna_key = registry::create_key(antennas.get(), std::to_wstring(a.id));
      set_text(antenna_key.get(), L"Name", a.name);
      write_converters(antenna_key.get(), net, a.up_converters, true);
      write_converters(antenna_key.get(), net, a.down_converters, false);
    }
  }

  // The site keys in the order of their names, as the registry lists them:
  // each new key then goes to the end of its parent's list.
  std::vector<std::pair<std::wstring, std::int64_t>> sites;
  sites.reserve(net.sites.size());
  for (const site& s : net.sites) sites.emplace_back(std::to_wstring(s.id), s.inband);
  std::sort(sites.begin(), sites.end());
  registry::key_handle properties = registry::create_key(installation_key, L"Network\\Properties");
  for (const auto& [name, inband_id] : sites) {
    registry::key_handle inband = registry::create_key(properties.get(), name + L"\\" + inband_property_key);
    set_text(inband.get(), L"Id", std::to_wstring(inband_id));
  }
}

}  // namespace mkinstall
