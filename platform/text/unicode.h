#pragma once
// Conversions between the program's wide strings and the encodings that the
// outside world uses. Inside the program all text is wide and stands for
// UTF-16: on Windows a wchar_t is one UTF-16 code unit; where wchar_t is 32
// bits wide it holds one code point, and a lone surrogate is kept as the
// code unit it was, so that UTF-16 data read from SQLite or the registry
// round-trips exactly.

#include <array>
#include <compare>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace netkeep::text {

// The UTF-16 code units of a wide string.
std::u16string to_utf16(std::wstring_view text);
// Writes the UTF-16 code units of `text` from `out` on, which has room for
// twice as many units as the text has characters; returns their end.
char16_t* write_utf16(std::wstring_view text, char16_t* out);

// The UTF-16 code units of a wide text, kept on the stack when the text is
// short: a look-up that converts its key allocates nothing for most keys.
class utf16_key {
 public:
  explicit utf16_key(std::wstring_view text);
  utf16_key(const utf16_key&) = delete;
  utf16_key& operator=(const utf16_key&) = delete;

  std::u16string_view units() const { return units_; }

 private:
  std::array<char16_t, 256> buffer_;
  std::u16string longer_;  // a text too long for the buffer
  std::u16string_view units_;
};

// A wide string from UTF-16 code units; surrogate pairs are combined where
// wchar_t is 32 bits wide, lone surrogates are kept.
std::wstring from_utf16(std::u16string_view text);

// from_utf16, appended to `out`.
void append_from_utf16(std::wstring& out, std::u16string_view text);

// UTF-16 little-endian bytes (no terminator added) and back. An odd last byte
// is ignored by from_utf16le.
std::string to_utf16le(std::wstring_view text);
std::wstring from_utf16le(std::string_view bytes);
// from_utf16le, appended to `out`.
void append_from_utf16le(std::wstring& out, std::string_view bytes);
// Appends the UTF-16 little-endian bytes of `text` to `out`.
void append_utf16le(std::string& out, std::wstring_view text);

inline bool is_high_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool is_low_surrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// UTF-8; a lone surrogate is written as U+FFFD.
std::string to_utf8(std::wstring_view text);

// Appends the UTF-8 form of one code point; a surrogate is written as
// U+FFFD.
void append_utf8(std::string& out, char32_t c);

// From UTF-8; each byte of an invalid sequence becomes the code point of the
// same value (Latin-1), so that plain ASCII and any valid UTF-8 read as
// expected and nothing is dropped.
std::wstring from_utf8(std::string_view text);

// True when the bytes are valid UTF-8 (no overlong forms, surrogates or
// values above U+10FFFF).
bool is_utf8(std::string_view text);

// Widens a narrow message (SQLite's texts, exception messages, which are
// UTF-8 or ASCII) for the wide console streams.
inline std::wstring widen(std::string_view narrow) { return from_utf8(narrow); }

// Number of UTF-16 code units that the text takes.
std::size_t utf16_length(std::wstring_view text);

// utf16_length(text) <= limit; counts only when the text's size leaves a
// doubt (a character takes one or two units).
inline bool utf16_length_at_most(std::wstring_view text, std::size_t limit) {
  return text.size() <= limit / 2 || (text.size() <= limit && utf16_length(text) <= limit);
}

// Ordinal comparison of the UTF-16 code units of two texts, a proper prefix
// first; the order of monikers and registry names everywhere in the program.
std::strong_ordering compare_utf16(std::wstring_view a, std::wstring_view b);

// The order of two differing wide characters by their UTF-16 code units
// (compare_utf16 at the first difference).
std::strong_ordering compare_utf16_units(wchar_t a, wchar_t b);

// compare_utf16, inline: monikers are compared very often, and most differ
// in characters below U+D800, whose order is their value's.
inline std::strong_ordering compare_utf16_inline(std::wstring_view a, std::wstring_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    if (static_cast<char32_t>(a[i]) < 0xD800 && static_cast<char32_t>(b[i]) < 0xD800) return a[i] <=> b[i];
    return compare_utf16_units(a[i], b[i]);
  }
  return a.size() <=> b.size();
}

struct utf16_less {
  bool operator()(std::wstring_view a, std::wstring_view b) const {
    return compare_utf16_inline(a, b) < 0;
  }
};

// File-system paths from wide text and back (UTF-8 on POSIX systems). On
// POSIX systems to_path writes each lone surrogate U+DC80 to U+DCFF as the
// byte it stands for (see from_file_name_bytes); other surrogates are
// written as U+FFFD, as to_utf8 writes them.
std::filesystem::path to_path(std::wstring_view text);
std::wstring from_path(const std::filesystem::path& path);

// A file name given as bytes (a POSIX command-line word) as wide text that
// to_path turns back into the same bytes: valid UTF-8 is decoded, and each
// byte outside a valid sequence becomes the lone surrogate U+DC00 + byte
// (U+DC80 to U+DCFF), which no decoded text holds. POSIX systems only.
#ifndef _WIN32
std::wstring from_file_name_bytes(std::string_view bytes);
#endif

}  // namespace netkeep::text
