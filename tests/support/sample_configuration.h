#pragma once
// A registry configuration that exercises everything export, import and
// reset treat specially: the excluded top-level keys (and a deeper key of
// the same name), the preserved values, a default value, and values of the
// usual types.

#include <string>

#include "tests/support/test_installation.h"

namespace netkeep::testing {

// .reg text for test_installation::set_registry. With the default value
// "@" of "Bandwidth" when `with_default_value`.
inline std::string sample_configuration(bool with_default_value = false) {
  return section("") + "\n\"Extra\"=dword:00000007\n\n" +
         section("Bandwidth") + "\n\"Count\"=dword:00000002\n" +
         (with_default_value ? "@=\"default\"\n" : "") + "\n" +
         section("Bandwidth\\Satellites") + "\n\n" +
         section("Bandwidth\\Satellites\\1") +
         "\n"
         "\"Name\"=\"Sat One\"\n"
         "\"Blob\"=hex:01,02,03\n"
         "\"Multi\"=hex(7):61,00,00,00,00,00\n"
         "\"Wide\"=hex(b):01,00,00,00,00,00,00,00\n"
         "\"Expand\"=hex(2):25,00,00,00\n\n" +
         section("KAT") + "\n\"LocalAddress\"=\"10.0.0.1\"\n\"Port\"=dword:00000010\n\n" +
         section("KAT\\Sub") + "\n\"x\"=\"y\"\n\n" +
         section("Network\\System") + "\n\"Kept\"=\"deep system key\"\n\n" +
         section("System") + "\n\"Secret\"=\"s\"\n\n" +
         section("System\\Inner") + "\n\n" +
         section("WebServices") + "\n\"Url\"=\"http://x\"\n";
}

}  // namespace netkeep::testing
