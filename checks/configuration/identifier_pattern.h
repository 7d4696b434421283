#pragma once
// What a stored identifier must look like: one to eighteen ASCII digits and
// nothing else, so that it always fits a signed 64-bit integer.

#include <regex>
#include <string_view>

namespace netkeep {

// "[0-9]{1,18}", ECMAScript grammar; built once, when the program starts.
extern const std::wregex identifier_pattern;

// True when the whole of `text` matches identifier_pattern.
bool is_identifier(std::wstring_view text);

}  // namespace netkeep
