// Writing the hive file; the format is described in registry_hive_format.h.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"
#include "platform/win32/registry_hive_format.h"

namespace win32::registry {
namespace {

// Hex byte lists are wrapped before this column, as the registry editor does.
constexpr std::size_t wrap_column = 76;

constexpr char hex_digits[] = "0123456789abcdef";

void append_escaped(std::string& out, std::wstring_view text) {
  for (char c : netkeep::text::to_utf8(text)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
}

// The text of REG_SZ data that are exactly one terminated, valid UTF-16
// string without line breaks; nothing when the data must be written as hex
// to round-trip.
std::optional<std::wstring> clean_string(const std::string& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  std::u16string units;
  units.reserve(data.size() / 2);
  for (std::size_t i = 0; i < data.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                   (static_cast<unsigned char>(data[i + 1]) << 8));
  }
  if (units.back() != 0) return std::nullopt;
  units.pop_back();
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u == 0 || u == u'\r' || u == u'\n') return std::nullopt;
    if (u >= 0xDC00 && u <= 0xDFFF) return std::nullopt;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return std::nullopt;
      ++i;
    }
  }
  return netkeep::text::from_utf16(units);
}

void append_hex_bytes(std::string& out, std::size_t line_start, const std::string& data) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i > 0) {
      out += ',';
      if (out.size() - line_start >= wrap_column) {
        out += "\\\n  ";
        line_start = out.size() - 2;
      }
    }
    const auto byte = static_cast<unsigned char>(data[i]);
    out += hex_digits[byte >> 4];
    out += hex_digits[byte & 0xF];
  }
}

void append_value(std::string& out, const value_entry& value) {
  const std::size_t line_start = out.size();
  if (value.name.empty()) {
    out += '@';
  } else {
    out += '"';
    append_escaped(out, value.name);
    out += '"';
  }
  out += '=';
  if (value.type == reg_sz) {
    if (std::optional<std::wstring> text = clean_string(value.data)) {
      out += '"';
      append_escaped(out, *text);
      out += "\"\n";
      return;
    }
  }
  if (value.type == reg_dword && value.data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.data[i]);
    out += "dword:";
    for (int shift = 28; shift >= 0; shift -= 4) out += hex_digits[(number >> shift) & 0xF];
    out += '\n';
    return;
  }
  if (value.type == reg_binary) {
    out += "hex:";
  } else {
    out += "hex(";
    bool started = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
      const unsigned digit = (value.type >> shift) & 0xF;
      if (digit != 0 || started || shift == 0) {
        out += hex_digits[digit];
        started = true;
      }
    }
    out += "):";
  }
  append_hex_bytes(out, line_start, value.data);
  out += '\n';
}

}  // namespace

std::string format_hive(const key_node& root) {
  std::string out = "Windows Registry Editor Version 5.00\n\n";
  // paths[d]: the section path of the key last seen at depth d.
  std::vector<std::string> paths;
  for_each_key(root, [&](const key_node& key, std::size_t depth) {
    paths.resize(depth);
    paths.push_back(depth == 0 ? std::string("HKEY_LOCAL_MACHINE")
                               : paths[depth - 1] + '\\' + netkeep::text::to_utf8(key.name));
    // The root is written only for its values; every other key always.
    if (depth == 0 && key.values.size() == 0) return;
    out += '[';
    out += paths.back();
    out += "]\n";
    for (std::size_t i = 0; i < key.values.size(); ++i) append_value(out, key.values.at(i));
    out += '\n';
  });
  return out;
}

}  // namespace win32::registry
