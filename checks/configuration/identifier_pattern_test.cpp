#include "checks/configuration/identifier_pattern.h"

#include <gtest/gtest.h>

namespace netkeep {
namespace {

TEST(IdentifierPattern, OneToEighteenDigitsAndNothingElse) {
  for (const wchar_t* valid : {L"0", L"007", L"123456789012345678"}) EXPECT_TRUE(is_identifier(valid)) << valid;
  for (const wchar_t* invalid : {L"", L"1234567890123456789", L"12a", L"a12", L" 12", L"12 ", L"-1", L"+1",
                                 L"1.5", L"\u0661\u0662"}) {
    EXPECT_FALSE(is_identifier(invalid)) << invalid;
  }
}

}  // namespace
}  // namespace netkeep
