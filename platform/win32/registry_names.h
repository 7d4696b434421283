#pragma once
// How the file-backed registry compares, orders and accepts key and value
// names. Names are case-insensitive and case-preserving: two names are the
// same when their folded forms are equal, and subkeys enumerate in the order
// of their folded forms.

#include <cstddef>
#include <string>
#include <string_view>

namespace win32::registry {

// Longest key name (one path component) and value name, in UTF-16 code units.
inline constexpr std::size_t max_key_name_length = 255;
inline constexpr std::size_t max_value_name_length = 16383;

// The folded form of a name: its UTF-16 code units, each upper-cased on its
// own by the "C.UTF-8" locale's wide ctype (ASCII only where that locale is
// missing); surrogates and units whose upper case would leave the basic plane
// stay as they are. Independent of the global locale.
std::u16string fold_name(std::wstring_view name);

// fold_name(name), written into `folded` so that its storage is reused.
void fold_name(std::wstring_view name, std::u16string& folded);

// fold_name(name) == folded, without building the folded form.
bool folds_to(std::wstring_view name, std::u16string_view folded);

// True when the hive file can carry the name exactly: every character is a
// Unicode scalar value (no lone surrogate, nothing above U+10FFFF) and none
// is a carriage return or line feed, which would break the line format.
bool is_storable_name(std::wstring_view name);

// The name as a C string API sees it: cut at its first NUL character, as the
// Windows backend's calls cut it.
std::wstring_view c_string_view(const std::wstring& name);

}  // namespace win32::registry
