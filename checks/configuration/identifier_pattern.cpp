#include "checks/configuration/identifier_pattern.h"

namespace netkeep {

const std::wregex identifier_pattern(L"[0-9]{1,18}", std::regex_constants::ECMAScript);

bool is_identifier(std::wstring_view text) {
  return std::regex_match(text.begin(), text.end(), identifier_pattern);
}

}  // namespace netkeep
