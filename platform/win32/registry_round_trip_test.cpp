// The file-backed hive keeps whatever the registry layer accepts: random
// keys and values, with names and data chosen to stress the file's text
// format and the folding of names, are written back and read again equal.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/win32/registry.h"
#include "platform/win32/registry_test_support.h"

namespace win32::registry::testing {
namespace {

using registry_round_trip = temporary_hive;

// Characters that the hive's syntax, the names' folding or UTF-16 make
// special: quotes, escapes, brackets, line breaks, NUL, case pairs within
// and beyond ASCII, names that fold alike, surrogates alone and in pairs.
constexpr wchar_t alphabet[] = {L'a',   L'A',   L'z',   L'0',   L' ',   L'\\',  L'"',   L'[',   L']',
                                L'=',   L'@',   L';',   L'\t',  L'\r',  L'\n',  0x00,   0xE9,   0xC9,
                                0xDF,   0x130,  0x131,  0x3A3,  0x3C2,  0x3C3,  0x1C5,  0xFB01, 0xD800,
                                0xDC00, 0xFFFD, 0xFEFF, 0x1F600, 0x7F,  L'%',   L':'};

std::wstring random_text(std::mt19937& random, std::size_t longest) {
  std::wstring text(std::uniform_int_distribution<std::size_t>(0, longest)(random), L'a');
  for (wchar_t& c : text) c = alphabet[std::uniform_int_distribution<std::size_t>(0, std::size(alphabet) - 1)(random)];
  return text;
}

std::string random_data(std::mt19937& random) {
  if (random() % 3 == 0) return sz(random_text(random, 6));  // a string as Windows stores it, mostly
  std::string data(std::uniform_int_distribution<std::size_t>(0, 40)(random), '\0');
  for (char& byte : data) byte = static_cast<char>(random());
  return data;
}

std::string hex(std::wstring_view text) {
  std::string out;
  for (char16_t unit : netkeep::text::to_utf16(text)) out += std::to_string(unit) + ".";
  return out;
}

// Every key below `key` with its values, in enumeration order, names as
// their UTF-16 code units.
void list(raw_key key, std::string& out) {
  std::wstring name;
  std::string buffer(1 << 16, '\0');
  value_info info{};
  for (std::uint32_t i = 0;
       enum_value_with_data(key, i, name, 16384, buffer.data(), static_cast<std::uint32_t>(buffer.size()), info) ==
       error_success;
       ++i) {
    out += " v" + hex(name) + ":" + std::to_string(info.type) + ":" + buffer.substr(0, info.size);
  }
  for (std::uint32_t i = 0; enum_key(key, i, name, 256) == error_success; ++i) {
    out += " [" + hex(name);
    list(open_key(key, name, generic_read).get(), out);
    out += " ]";
  }
}

TEST_F(registry_round_trip, WhatTheRegistryAcceptsReadsBackEqual) {
  constexpr std::uint32_t types[] = {reg_none, reg_sz, reg_expand_sz, reg_binary, reg_dword, reg_multi_sz,
                                     reg_qword, 0x12345678};
  std::size_t accepted = 0;
  for (unsigned seed = 1; seed <= 30; ++seed) {
    std::mt19937 random(seed);
    std::string before;
    {
      std::vector<key_handle> keys;
      keys.push_back(create_key(local_machine(), L"Software"));
      keys.push_back(open_key(keys.back().get(), L"", generic_all));
      for (int step = 0; step < 150; ++step) {
        raw_key key = keys[random() % keys.size()].get();
        try {
          if (random() % 3 == 0) {
            const std::wstring name = random_text(random, 5);
            create_key(key, name);
            keys.push_back(open_key(key, name, generic_all));
          } else {
            const std::string data = random_data(random);
            set(key, random_text(random, 6), types[random() % std::size(types)], data);
          }
          ++accepted;
        } catch (const error&) {
          // Refused: changes nothing.
        }
      }
      list(local_machine(), before);
      flush_key(keys.front().get());
    }
    std::string after;
    list(local_machine(), after);
    ASSERT_EQ(after, before) << "seed " << seed;
    std::filesystem::remove(file);
  }
  EXPECT_GT(accepted, 2000u);  // most operations are accepted
}

TEST_F(registry_round_trip, KeysAsDeepAsTheReaderReads) {
  key_handle key = create_key(local_machine(), L"k");
  // HKEY_LOCAL_MACHINE and "k" are two levels.
  for (std::size_t depth = 2; depth < max_key_depth; ++depth) key = create_key(key.get(), L"k");
  EXPECT_EQ(error_of([&] { create_key(key.get(), L"deeper"); }), error_invalid_parameter);
  EXPECT_EQ(key_path_length(L"a\\b\\c"), std::optional<std::size_t>(3));
  for (const wchar_t* refused : {L"\\a", L"a\\", L"a\\\\b", L"line\nbreak"}) {
    EXPECT_EQ(key_path_length(refused), std::nullopt);
    EXPECT_EQ(error_of([&] { create_key(local_machine(), refused); }), error_invalid_parameter);
  }
  key.reset();
  std::string listing;
  list(local_machine(), listing);  // the file reads back
  EXPECT_NE(listing.find("[107"), std::string::npos);
}

}  // namespace
}  // namespace win32::registry::testing

#endif
