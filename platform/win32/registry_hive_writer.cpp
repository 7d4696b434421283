// Writing the hive file; the format is described in registry_hive_format.h.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"
#include "platform/win32/registry_hive_format.h"

namespace win32::registry {
namespace {

// Hex byte lists are wrapped before this column, as the registry editor does.
constexpr std::size_t wrap_column = 76;

constexpr char hex_digits[] = "0123456789abcdef";

// Appends a name as UTF-8; with `escape`, backslashes and quotes get a
// backslash in front.
void append_name(std::string& out, stored_name name, bool escape) {
  // Mostly plain ASCII, held a byte a character: copied in one go.
  if (const unsigned char* text = name.narrow()) {
    bool plain = true;
    for (std::size_t i = 0; i < name.size(); ++i) {
      const unsigned char c = text[i];
      plain &= c < 0x80 && (!escape || (c != '\\' && c != '"'));
    }
    if (plain) {
      out.append(reinterpret_cast<const char*>(text), name.size());
      return;
    }
  }
  const std::string utf8 = netkeep::text::to_utf8(name.str());
  if (!escape) {
    out += utf8;
    return;
  }
  for (char c : utf8) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
}

char16_t unit_at(std::string_view data, std::size_t index) {
  return static_cast<char16_t>(static_cast<unsigned char>(data[2 * index]) |
                               (static_cast<unsigned char>(data[2 * index + 1]) << 8));
}

// Appends REG_SZ data as a quoted, escaped string when they are exactly one
// terminated, valid UTF-16 string without line breaks; false (and nothing
// appended) when the data must be written as hex to round-trip.
bool append_clean_string(std::string& out, std::string_view data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  const std::size_t units = data.size() / 2 - 1;
  if (unit_at(data, units) != 0) return false;
  bool plain = true;
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t u = unit_at(data, i);
    if (u == 0 || u == u'\r' || u == u'\n') return false;
    if (u >= 0xDC00 && u <= 0xDFFF) return false;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 == units || unit_at(data, i + 1) < 0xDC00 || unit_at(data, i + 1) > 0xDFFF) return false;
      ++i;
    }
    plain &= u < 0x80;
  }
  out += '"';
  if (plain) {
    // Written through a pointer into room for every character escaped.
    const std::size_t start = out.size();
    out.resize(start + 2 * units);
    char* at = out.data() + start;
    for (std::size_t i = 0; i < units; ++i) {
      const char c = data[2 * i];
      if (c == '\\' || c == '"') *at++ = '\\';
      *at++ = c;
    }
    out.resize(static_cast<std::size_t>(at - out.data()));
    out += '"';
    return true;
  }
  for (std::size_t i = 0; i < units; ++i) {
    char32_t c = unit_at(data, i);
    if (c == '\\' || c == '"') out += '\\';
    if (c >= 0xD800 && c <= 0xDBFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit_at(data, i + 1) - 0xDC00u);
      ++i;
    }
    netkeep::text::append_utf8(out, c);
  }
  out += '"';
  return true;
}

void append_hex_bytes(std::string& out, std::size_t line_start, std::string_view data) {
  // Written through a pointer into room made beforehand: a line holds at
  // least 24 bytes, so there are at most size / 24 + 1 line breaks.
  const std::size_t start = out.size();
  out.resize(start + 3 * data.size() + 4 * (data.size() / 24 + 2));
  char* const base = out.data();
  char* at = base + start;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i > 0) {
      *at++ = ',';
      if (static_cast<std::size_t>(at - base) - line_start >= wrap_column) {
        *at++ = '\\';
        *at++ = '\n';
        *at++ = ' ';
        *at++ = ' ';
        line_start = static_cast<std::size_t>(at - base) - 2;
      }
    }
    const auto byte = static_cast<unsigned char>(data[i]);
    *at++ = hex_digits[byte >> 4];
    *at++ = hex_digits[byte & 0xF];
  }
  out.resize(static_cast<std::size_t>(at - base));
}

void append_value(std::string& out, const value_entry& value) {
  const std::size_t line_start = out.size();
  const std::uint32_t type = value.type();
  const std::string_view data = value.data();
  if (value.name().empty()) {
    out += '@';
  } else {
    out += '"';
    append_name(out, value.name(), true);
    out += '"';
  }
  out += '=';
  if (type == reg_sz && append_clean_string(out, data)) {
    out += '\n';
    return;
  }
  if (type == reg_dword && data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(data[i]);
    out += "dword:";
    for (int shift = 28; shift >= 0; shift -= 4) out += hex_digits[(number >> shift) & 0xF];
    out += '\n';
    return;
  }
  if (type == reg_binary) {
    out += "hex:";
  } else {
    out += "hex(";
    bool started = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
      const unsigned digit = (type >> shift) & 0xF;
      if (digit != 0 || started || shift == 0) {
        out += hex_digits[digit];
        started = true;
      }
    }
    out += "):";
  }
  append_hex_bytes(out, line_start, data);
  out += '\n';
}

}  // namespace

void write_hive(const key_node& root, const std::function<void(std::string_view)>& sink) {
  // The text goes out in pieces of about this size: the buffer is reused, so
  // a large hive is written without holding its text or touching fresh pages.
  constexpr std::size_t piece_bytes = 1 << 20;
  std::string out;
  out.reserve(2 * piece_bytes);
  out += "Windows Registry Editor Version 5.00\n\n";
  // The section path of the key being written; ends[d] is where the path of
  // its ancestor at depth d ends.
  std::string path;
  std::vector<std::size_t> ends;
  for_each_key(root, [&](const key_node& key, std::size_t depth) {
    if (depth == 0) {
      path = "HKEY_LOCAL_MACHINE";
    } else {
      path.resize(ends[depth - 1]);
      path += '\\';
      append_name(path, key.name(), false);
    }
    ends.resize(depth);
    ends.push_back(path.size());
    // The root is written only for its values; every other key always.
    if (depth == 0 && key.values.size() == 0) return;
    out += '[';
    out += path;
    out += "]\n";
    for (std::size_t i = 0; i < key.values.size(); ++i) append_value(out, key.values.at(i));
    out += '\n';
    if (out.size() >= piece_bytes) {
      sink(out);
      out.clear();
    }
  });
  sink(out);
}

std::string format_hive(const key_node& root) {
  std::string text;
  write_hive(root, [&text](std::string_view piece) { text += piece; });
  return text;
}

}  // namespace win32::registry
