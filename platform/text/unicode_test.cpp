#include "platform/text/unicode.h"

#include <gtest/gtest.h>

#include <random>

namespace netkeep::text {
namespace {

TEST(Unicode, Utf8RoundTripsEveryPlane) {
  const std::wstring text = L"Sat-\u00e9\u4e2d" + from_utf16(u"\U0001F600") + L"!";
  EXPECT_EQ(from_utf8(to_utf8(text)), text);
  EXPECT_EQ(to_utf8(text), "Sat-\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80!");
}

TEST(Unicode, InvalidUtf8KeepsEveryByte) {
  // A stray continuation byte, a cut sequence and an overlong form.
  EXPECT_EQ(from_utf8("a\x80" "b"), std::wstring(L"a\x80" L"b"));
  EXPECT_EQ(from_utf8("\xe4\xb8"), std::wstring(L"\xe4\xb8"));
  EXPECT_EQ(from_utf8("\xc0\xaf"), std::wstring(L"\xc0\xaf"));
  for (const char* invalid : {"a\x80" "b", "\xe4\xb8", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xff"}) {
    EXPECT_FALSE(is_utf8(invalid)) << invalid;
  }
  EXPECT_TRUE(is_utf8("a\xc3\xa9\xe4\xb8\x80\xf0\x9f\x98\x80"));
}

#ifndef _WIN32
// Any bytes, valid UTF-8 or not, name the same file after the round trip
// through wide text; valid UTF-8 reads as the text it encodes.
TEST(Unicode, FileNameBytesComeBackAsTheyWereGiven) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 12);
  for (int i = 0; i < 20000; ++i) {
    std::string bytes(static_cast<std::size_t>(length(random)), '\0');
    for (char& b : bytes) b = static_cast<char>(byte(random) | (i % 3 == 0 ? 0x80 : 0));
    ASSERT_EQ(to_path(from_file_name_bytes(bytes)).native(), bytes);
    if (is_utf8(bytes)) {
      ASSERT_EQ(from_file_name_bytes(bytes), from_utf8(bytes));
    }
  }
}
#endif

TEST(Unicode, Utf16KeepsLoneSurrogatesAndPairsAstralCharacters) {
  const std::u16string units = {u'a', 0xD83D, 0xDE00, 0xDC00, u'z'};
  const std::wstring wide = from_utf16(units);
  EXPECT_EQ(to_utf16(wide), units);
  EXPECT_EQ(utf16_length(wide), 5u);
  EXPECT_EQ(from_utf16le(to_utf16le(wide)), wide);
  EXPECT_EQ(to_utf16le(L"A\u00e9"), std::string("A\0\xe9\0", 4));
}

TEST(Unicode, Utf16BytesAndAppendedUnitsConvertAsWholeTexts) {
  // A pair, a lone low and a lone high surrogate at the end, then an odd
  // byte that is dropped.
  const std::string bytes("a\0\x3D\xD8\x00\xDE\x00\xDC\x3D\xD8z", 11);
  const std::wstring expected = from_utf16(std::u16string{u'a', 0xD83D, 0xDE00, 0xDC00, 0xD83D});
  EXPECT_EQ(from_utf16le(bytes), expected);

  std::wstring appended = L"x";
  append_from_utf16(appended, std::u16string{u'a', 0xD83D});
  append_from_utf16(appended, std::u16string{0xDE00});  // the pair is split between the calls
  EXPECT_EQ(appended, L"x" + from_utf16(std::u16string{u'a', 0xD83D}) + from_utf16(std::u16string{0xDE00}));
}

TEST(Unicode, CompareOrdersByUtf16CodeUnits) {
  const std::wstring astral = from_utf16(u"\U0001F600");  // D83D DE00
  const std::wstring private_use = L"\uE000";
  EXPECT_TRUE(compare_utf16(astral, private_use) < 0);
  EXPECT_TRUE(compare_utf16(L"M1", L"M10") < 0);
  EXPECT_TRUE(compare_utf16(L"M", L"m") < 0);
  EXPECT_TRUE(compare_utf16(L"", L"a") < 0);
  EXPECT_TRUE(compare_utf16(L"abc", L"abc") == 0);
  EXPECT_TRUE(compare_utf16(from_utf16(u"\U0001F601"), astral) > 0);
}

}  // namespace
}  // namespace netkeep::text
