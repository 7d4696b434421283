#include "tools/mkinstall/product_constants.h"

#include "platform/text/unicode.h"

namespace mkinstall {

std::string inband_property_guid() {
  return std::string("\x62\x9A\xD7\x41\x3D\xC5\xDB\x45\x8F\x45\xF4\x46\x49\xE2\x7B\xB6", 16);
}

std::string inband_property_value(std::int64_t inband) {
  return netkeep::text::to_utf16le(std::to_wstring(inband));
}

const std::vector<std::string>& other_property_guids() {
  // Location, contact and service plan of a site.
  static const std::vector<std::string> guids = {
      std::string("\x1B\x7C\x4E\x90\x2A\x61\x4F\x4B\x9D\x0E\x63\x75\x2C\x8A\x11\x05", 16),
      std::string("\xC4\x35\x0D\x7E\x88\x12\xA3\x46\xB1\x5F\x20\x9C\x44\xDE\x71\x3A", 16),
      std::string("\x57\xE2\x19\x6B\x03\xB4\x8C\x4D\xA6\x73\xF1\x0B\x95\x28\x6D\xC2", 16),
  };
  return guids;
}

}  // namespace mkinstall
