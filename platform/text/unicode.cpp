#include "platform/text/unicode.h"

namespace netkeep::text {
namespace {

constexpr bool wide_is_utf16 = sizeof(wchar_t) == 2;

void append_wide(std::wstring& out, char32_t c) {
  if (wide_is_utf16 && c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (c >> 10));
    out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<wchar_t>(c);
  }
}

// Calls f with each code point of a wide string, pairing surrogates.
template <class F>
void for_each_code_point(std::wstring_view text, F f) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    if (wide_is_utf16 && is_high_surrogate(c) && i + 1 < text.size() &&
        is_low_surrogate(static_cast<char32_t>(text[i + 1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
    }
    f(c);
  }
}

}  // namespace

void append_utf8(std::string& out, char32_t c) {
  if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::u16string to_utf16(std::wstring_view text) {
  std::u16string out(2 * text.size(), u'\0');
  out.resize(static_cast<std::size_t>(write_utf16(text, out.data()) - out.data()));
  return out;
}

utf16_key::utf16_key(std::wstring_view text) {
  if (2 * text.size() <= buffer_.size()) {
    units_ = {buffer_.data(), static_cast<std::size_t>(write_utf16(text, buffer_.data()) - buffer_.data())};
  } else {
    longer_ = to_utf16(text);
    units_ = longer_;
  }
}

char16_t* write_utf16(std::wstring_view text, char16_t* out) {
  for (const wchar_t w : text) {
    char32_t c = static_cast<char32_t>(w);
    if (c >= 0x10000) {
      c -= 0x10000;
      *out++ = static_cast<char16_t>(0xD800 + (c >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      *out++ = static_cast<char16_t>(c);
    }
  }
  return out;
}

std::wstring from_utf16(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  append_from_utf16(out, text);
  return out;
}

void append_from_utf16(std::wstring& out, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (!wide_is_utf16 && is_high_surrogate(c) && i + 1 < text.size() &&
        is_low_surrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    out += static_cast<wchar_t>(c);
  }
}

std::string to_utf16le(std::wstring_view text) {
  std::string out;
  append_utf16le(out, text);
  return out;
}

void append_utf16le(std::string& out, std::wstring_view text) {
  // Room for a surrogate pair per character, given back at the end.
  const std::size_t start = out.size();
  out.resize(start + 4 * text.size());
  char* at = out.data() + start;
  auto put = [&at](char32_t unit) {
    *at++ = static_cast<char>(unit & 0xFF);
    *at++ = static_cast<char>(unit >> 8);
  };
  for (wchar_t w : text) {
    const auto c = static_cast<char32_t>(w);
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  out.resize(static_cast<std::size_t>(at - out.data()));
}

std::wstring from_utf16le(std::string_view bytes) {
  std::wstring out;
  append_from_utf16le(out, bytes);
  return out;
}

void append_from_utf16le(std::wstring& out, std::string_view bytes) {
  const std::size_t units = bytes.size() / 2;
  const auto unit = [bytes](std::size_t i) -> char32_t {
    return static_cast<unsigned char>(bytes[2 * i]) | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  };
  // Written in place: the text has at most one character per unit.
  const std::size_t start = out.size();
  out.resize(start + units);
  wchar_t* at = out.data() + start;
  for (std::size_t i = 0; i < units; ++i) {
    char32_t c = unit(i);
    if (!wide_is_utf16 && is_high_surrogate(c) && i + 1 < units && is_low_surrogate(unit(i + 1))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    }
    *at++ = static_cast<wchar_t>(c);
  }
  out.resize(static_cast<std::size_t>(at - out.data()));
}

std::string to_utf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for_each_code_point(text, [&](char32_t c) { append_utf8(out, c); });
  return out;
}

namespace {

// The length of the valid UTF-8 sequence at `i` (its code point in `c`), or
// 0 when the bytes there are not one.
std::size_t utf8_sequence(std::string_view text, std::size_t i, char32_t& c) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  c = lead;
  if (lead < 0x80) return 1;
  const std::size_t extra = lead >= 0xF0 && lead <= 0xF4   ? 3
                            : lead >= 0xE0 && lead <= 0xEF ? 2
                            : lead >= 0xC2 && lead <= 0xDF ? 1
                                                           : 0;
  if (extra == 0 || i + extra >= text.size()) return 0;
  c = lead & (0x3F >> extra);
  for (std::size_t k = 1; k <= extra; ++k) {
    const unsigned char cont = static_cast<unsigned char>(text[i + k]);
    if ((cont & 0xC0) != 0x80) return 0;
    c = (c << 6) | (cont & 0x3F);
  }
  // Overlong forms, surrogates and values above U+10FFFF are invalid.
  if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF)) {
    return 0;
  }
  return extra + 1;
}

}  // namespace

namespace {

// Decodes UTF-8; each byte outside a valid sequence becomes invalid(byte).
template <typename F>
std::wstring decode_utf8(std::string_view text, F invalid) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t c = 0;
    if (const std::size_t length = utf8_sequence(text, i, c); length > 0) {
      append_wide(out, c);
      i += length;
    } else {
      out += invalid(static_cast<unsigned char>(text[i]));
      ++i;
    }
  }
  return out;
}

}  // namespace

std::wstring from_utf8(std::string_view text) {
  return decode_utf8(text, [](unsigned char byte) { return static_cast<wchar_t>(byte); });
}

bool is_utf8(std::string_view text) {
  char32_t c = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8_sequence(text, i, c);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::size_t utf16_length(std::wstring_view text) {
  if (wide_is_utf16) return text.size();
  std::size_t n = text.size();
  for (wchar_t w : text) {
    char32_t c = static_cast<char32_t>(w);
    if (c >= 0x10000) ++n;
  }
  return n;
}

std::strong_ordering compare_utf16_units(wchar_t a, wchar_t b) {
  return compare_utf16(std::wstring_view(&a, 1), std::wstring_view(&b, 1));
}

std::strong_ordering compare_utf16(std::wstring_view a, std::wstring_view b) {
  // Code points compare like their UTF-16 encodings except that code points
  // above U+FFFF (surrogate pairs) sort before U+E000..U+FFFF.
  auto key = [](wchar_t w) -> char32_t {
    char32_t c = static_cast<char32_t>(w);
    if (wide_is_utf16) return c;
    if (c >= 0x10000) return 0xD800 + ((c - 0x10000) >> 10);
    return c;
  };
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    char32_t ka = key(a[i]), kb = key(b[i]);
    if (ka != kb) return ka <=> kb;
    // Same high surrogate: the low surrogates decide, as do the code points.
    return static_cast<char32_t>(a[i]) <=> static_cast<char32_t>(b[i]);
  }
  return a.size() <=> b.size();
}

// Windows paths are UTF-16 natively; elsewhere they are bytes, taken as UTF-8.
#ifdef _WIN32
std::filesystem::path to_path(std::wstring_view text) { return std::filesystem::path(std::wstring(text)); }

std::wstring from_path(const std::filesystem::path& path) { return path.native(); }
#else
namespace {

// The lone surrogates that stand for the bytes of a file name that are not
// UTF-8.
constexpr char32_t escaped_byte_base = 0xDC00;
bool is_escaped_byte(char32_t c) { return c >= escaped_byte_base + 0x80 && c <= escaped_byte_base + 0xFF; }

}  // namespace

std::filesystem::path to_path(std::wstring_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for_each_code_point(text, [&](char32_t c) {
    if (is_escaped_byte(c)) {
      bytes += static_cast<char>(c - escaped_byte_base);
    } else {
      append_utf8(bytes, c);
    }
  });
  return std::filesystem::path(std::move(bytes));
}

std::wstring from_path(const std::filesystem::path& path) { return from_utf8(path.native()); }

std::wstring from_file_name_bytes(std::string_view bytes) {
  return decode_utf8(bytes, [](unsigned char byte) { return static_cast<wchar_t>(escaped_byte_base + byte); });
}
#endif

}  // namespace netkeep::text
