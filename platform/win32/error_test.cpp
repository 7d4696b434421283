// The text of a win32::error, on either platform.

#include "platform/win32/error.h"

#include <gtest/gtest.h>

namespace win32 {
namespace {

TEST(Win32Error, MessageIsTheSystemTextWithoutItsLineEnd) {
  error failure(error_file_not_found);
  EXPECT_EQ(failure.code, error_file_not_found);
  std::string message = failure.what();
  ASSERT_FALSE(message.empty());
  EXPECT_NE(message, "unknown error");
  EXPECT_NE(message.back(), '\n');
  EXPECT_NE(message.back(), '\r');
}

TEST(Win32Error, CodeWithoutASystemTextIsAnUnknownError) {
  EXPECT_STREQ(error(0x2000ABCD).what(), "unknown error");
}

}  // namespace
}  // namespace win32
