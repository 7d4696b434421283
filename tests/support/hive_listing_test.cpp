#include "tests/support/hive_listing.h"

#include <gtest/gtest.h>

namespace netkeep::testing {
namespace {

const std::string header = "Windows Registry Editor Version 5.00\n\n";

TEST(HiveTextContents, TheOrderOfValuesAndTheLayoutDoNotShow) {
  const std::string created = header + "[HKEY_LOCAL_MACHINE\\A]\n\"b\"=\"2\"\n\"a\"=dword:00000001\n";
  // As Wine's registry gives it back: values sorted, UTF-16 with CRLF.
  const std::string sorted_crlf = header + "[HKEY_LOCAL_MACHINE\\A]\r\n\"a\"=dword:00000001\r\n\"b\"=\"2\"\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : sorted_crlf) utf16 += std::string{c, '\0'};
  EXPECT_EQ(hive_text_contents(created), hive_text_contents(utf16));
  EXPECT_EQ(hive_text_contents(created), "[]\n[\\A]\na 4 01000000\nb 1 32000000\n");
}

TEST(HiveTextContents, TypesDataNamesAndKeysShow) {
  const std::string base = header + "[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=\"x\"\n";
  for (const std::string& changed : {header + "[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=hex(2):78,00,00,00\n",
                                     header + "[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=\"y\"\n",
                                     header + "[HKEY_LOCAL_MACHINE\\A\\B]\n\"V\"=\"x\"\n",
                                     header + "[HKEY_LOCAL_MACHINE\\A\\b]\n\"v\"=\"x\"\n",
                                     header + "[HKEY_LOCAL_MACHINE\\A\\B\\C]\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=\"x\"\n",
                                     header + "[HKEY_LOCAL_MACHINE\\A]\n"}) {
    EXPECT_NE(hive_text_contents(changed), hive_text_contents(base)) << changed;
  }
  EXPECT_EQ(hive_text_contents(""), hive_text_contents(header));
}

}  // namespace
}  // namespace netkeep::testing
