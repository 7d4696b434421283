// The text format of the file-backed hive, the registry of platforms that
// have none; Windows builds use the real registry and do not test it.
#ifndef _WIN32

#include "platform/win32/registry_hive_format.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"
#include "platform/win32/registry_names.h"

namespace win32::registry {
namespace {

key_node& add_key(key_node& parent, const std::wstring& name) {
  return parent.children.insert(std::make_unique<key_node>(name, &parent));
}

void add_value(key_node& key, const std::wstring& name, std::uint32_t type, const std::string& data) {
  key.set_value(name, fold_name(name), type, data);
}

const key_node& key_at(const key_node& root, std::initializer_list<const wchar_t*> path) {
  const key_node* key = &root;
  for (const wchar_t* name : path) {
    key = key->children.find(fold_name(name));
    if (key == nullptr) throw std::runtime_error("missing key " + netkeep::text::to_utf8(name));
  }
  return *key;
}

// "name=type:hexbytes" for each value, in order.
std::string describe_values(const key_node& key) {
  std::string out;
  for (std::size_t i = 0; i < key.values.size(); ++i) {
    const value_entry& value = key.values.at(i);
    out += netkeep::text::to_utf8(value.name().str()) + "=" + std::to_string(value.type()) + ":";
    for (unsigned char byte : value.data()) out += "0123456789abcdef"[byte >> 4], out += "0123456789abcdef"[byte & 15];
    out += " ";
  }
  return out;
}

std::string subkey_names(const key_node& key) {
  std::string out;
  for (std::size_t i = 0; i < key.children.size(); ++i) out += netkeep::text::to_utf8(key.children.at(i).name().str()) + " ";
  return out;
}

TEST(HiveFormat, ReadsEverySyntax) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Corvanta]\r\n"
      "@=\"default\"\r\n"
      "\"quote\\\"back\\\\\"=\"a \\\"b\\\" c:\\\\d\"\r\n"
      "\"n\"=dword:0000002A\r\n"
      "\"b\"=hex:01,ff\r\n"
      "\"e\"=hex(0):\r\n"
      "\"m\"=hex(7):61,00,00,\\\r\n"
      "    00,00,00\r\n"
      "\"q\" = hex(b):01,02,03,04,05,06,07,08\r\n"
      "\"gone\"=\"x\"\r\n"
      "\r\n"
      "  [hkey_local_machine\\SOFTWARE\\corvanta]  \r\n"
      "\"n\"=dword:00000007\r\n"
      "\"gone\"=-\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Old\\Deep]\r\n"
      "\"v\"=\"1\"\r\n"
      "[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n"
      "[-HKEY_LOCAL_MACHINE\\Software\\Never\\There]\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Old]\r\n";
  const std::unique_ptr<key_node> root = parse_hive(text, "f.reg");

  EXPECT_EQ(subkey_names(*root), "Software ");
  EXPECT_EQ(subkey_names(key_at(*root, {L"software"})), "Corvanta Old ");
  // The recreated key starts empty: the deletion took its subtree.
  EXPECT_EQ(subkey_names(key_at(*root, {L"Software", L"Old"})), "");
  EXPECT_EQ(describe_values(key_at(*root, {L"Software", L"Corvanta"})),
            "=1:640065006600610075006c0074000000 "
            "quote\"back\\=1:61002000220062002200200063003a005c0064000000 "
            "n=4:07000000 b=3:01ff e=0: m=7:610000000000 q=11:0102030405060708 ");
}

TEST(HiveFormat, SectionsOutOfOrderNameOneKeyEachTime) {
  // After "A" came out of order, "C" and "D" follow in order; naming them
  // again must find them, not add second keys of the same name.
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n"
      "[HKEY_LOCAL_MACHINE\\B]\r\n"
      "[HKEY_LOCAL_MACHINE\\A]\r\n"
      "[HKEY_LOCAL_MACHINE\\C]\r\n"
      "\"v\"=\"1\"\r\n"
      "[HKEY_LOCAL_MACHINE\\D\\E]\r\n"
      "[HKEY_LOCAL_MACHINE\\c]\r\n"
      "\"w\"=\"2\"\r\n"
      "[HKEY_LOCAL_MACHINE\\D\\F]\r\n";
  const std::unique_ptr<key_node> root = parse_hive(text, "f.reg");
  EXPECT_EQ(subkey_names(*root), "A B C D ");
  EXPECT_EQ(subkey_names(key_at(*root, {L"D"})), "E F ");
  EXPECT_EQ(key_at(*root, {L"C"}).values.size(), 2u);
  EXPECT_EQ(format_hive(*parse_hive(format_hive(*root), "g.reg")), format_hive(*root));
}

TEST(HiveFormat, SectionsThatShareTheTextOfAPathPrefixNameTheirOwnKeys) {
  // Each section's path is compared with the one before: a name that is
  // only a prefix of the name there, or a key deleted in between, must not
  // be taken for the key of the section before.
  const std::string text =
      "Windows Registry Editor Version 5.00\n"
      "[HKEY_LOCAL_MACHINE\\A\\Dev10\\X]\n"
      "\"v\"=\"10\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\Dev1\\X]\n"
      "\"v\"=\"1\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\Dev1]\n"
      "[HKEY_LOCAL_MACHINE\\A\\DEV10\\x]\n"
      "\"w\"=\"10\"\n"
      "[HKEY_LOCAL_MACHINE\\B\\C]\n"
      "\"v\"=\"old\"\n"
      "[-HKEY_LOCAL_MACHINE\\B\\C]\n"
      "[HKEY_LOCAL_MACHINE\\B\\C\\D]\n";
  const std::unique_ptr<key_node> root = parse_hive(text, "f.reg");
  EXPECT_EQ(subkey_names(key_at(*root, {L"A"})), "Dev1 Dev10 ");
  EXPECT_EQ(describe_values(key_at(*root, {L"A", L"Dev10", L"X"})), "v=1:310030000000 w=1:310030000000 ");
  EXPECT_EQ(describe_values(key_at(*root, {L"A", L"Dev1", L"X"})), "v=1:31000000 ");
  EXPECT_EQ(describe_values(key_at(*root, {L"B", L"C"})), "");
  EXPECT_EQ(subkey_names(key_at(*root, {L"B", L"C"})), "D ");
}

TEST(HiveFormat, AcceptsByteOrderMarksUtf16AndRegedit4) {
  const std::wstring body = L"\r\n[HKEY_LOCAL_MACHINE\\K\u00e9y]\r\n\"\u4e2d\"=\"\u00e9\"\r\n";
  const std::string expected = "\xe4\xb8\xad=1:e9000000 ";
  const std::wstring v5 = L"Windows Registry Editor Version 5.00" + body;
  const std::vector<std::string> files = {
      netkeep::text::to_utf8(v5),
      "\xEF\xBB\xBF" + netkeep::text::to_utf8(v5),
      "\xFF\xFE" + netkeep::text::to_utf16le(v5),
      netkeep::text::to_utf8(L"REGEDIT4" + body),
  };
  for (const std::string& file : files) {
    const std::unique_ptr<key_node> root = parse_hive(file, "f.reg");
    EXPECT_EQ(describe_values(key_at(*root, {L"K\u00c9Y"})), expected);
  }
  EXPECT_EQ(parse_hive("", "f.reg")->children.size(), 0u);
  // In UTF-16 a line ends at the unit 0x000A only, not at a byte 0x0A of
  // another unit; an odd last byte is no character.
  const std::wstring units = L"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\\u410a\u0a41]\r\n";
  const std::unique_ptr<key_node> root = parse_hive("\xFF\xFE" + netkeep::text::to_utf16le(units) + "A", "f.reg");
  EXPECT_EQ(subkey_names(*root), netkeep::text::to_utf8(L"\u410a\u0a41 "));
}

TEST(HiveFormat, ReadsALineLongerThanThePiecesItReadsTheFileIn) {
  // The file is read a megabyte at a time; this line spans three of them.
  const std::size_t bytes = 1 << 20;
  std::string line = "\"b\"=hex:";
  for (std::size_t i = 0; i < bytes; ++i) line += "5a,";
  line.back() = '\n';
  const std::string file = "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n" + line + "\"v\"=\"x\"\n";
  const std::unique_ptr<key_node> root = parse_hive(file, "f.reg");
  const key_node& key = key_at(*root, {L"K"});
  ASSERT_EQ(key.values.size(), 2u);
  EXPECT_EQ(key.values.at(0).data(), std::string(bytes, 'Z'));
  EXPECT_EQ(key.values.at(1).data(), std::string("x\0\0\0", 4));
}

TEST(HiveFormat, MalformedFilesNameTheFileAndLine) {
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::string section = "[HKEY_LOCAL_MACHINE\\K]\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"REGEDIT5\n", "f.reg:1: expected the header"},
      {header + "\n[HKEY_CURRENT_USER\\K]\n", "f.reg:3: expected a key of HKEY_LOCAL_MACHINE"},
      {header + "[HKEY_LOCAL_MACHINE\\K\n", "f.reg:2: expected \"]\""},
      {header + "[HKEY_LOCAL_MACHINE\\\\K]\n", "f.reg:2: empty key name"},
      {header + "\"v\"=\"x\"\n", "f.reg:2: value outside of a key section"},
      {header + "[-HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"x\"\n", "f.reg:3: value outside of a key section"},
      {header + section + "junk\n", "f.reg:3: expected a value or a section"},
      {header + section + "\"v\"=\"a\\nb\"\n", "f.reg:3: malformed string value"},
      {header + section + "\"v\\q\"=\"x\"\n", "f.reg:3: malformed value name"},
      {header + section + "\"v\"=dword:0000001\n", "f.reg:3: expected eight hex digits"},
      {header + section + "\"v\"=hex(zz):00\n", "f.reg:3: malformed hex value type"},
      {header + section + "\"v\"=hex:1,02\n", "f.reg:3: expected two-digit hex bytes"},
      {header + section + "\"v\"=hex:01,\\\n  02,\\\n  0x\n", "f.reg:3: expected two-digit hex bytes"},
      {header + section + "\"v\"=hex:01,\\\n", "f.reg:3: hex value continued past the end"},
      {header + section + "\"v\"=text\n", "f.reg:3: unrecognized value data"},
  };
  for (const auto& [text, message] : cases) {
    try {
      parse_hive(text, "f.reg");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const std::runtime_error& failure) {
      EXPECT_EQ(std::string(failure.what()).rfind(message, 0), 0u) << failure.what() << " for: " << text;
    }
  }
}

TEST(HiveFormat, WritesEachValueInAFormThatRoundTrips) {
  key_node root;
  add_value(root, L"on root", reg_sz, std::string("r\0\0\0", 4));
  key_node& software = add_key(root, L"Software");
  add_key(software, L"Empty \u00c9t\u00e9");
  key_node& values = add_key(software, L"Values");
  add_value(values, L"", reg_sz, std::string("d\0\0\0", 4));
  add_value(values, L"q\"uo\\te", reg_sz, std::string("\\\0\"\0\xe9\0\0\0", 8));
  add_value(values, L"no terminator", reg_sz, std::string("a\0", 2));
  add_value(values, L"inner nul", reg_sz, std::string("a\0\0\0b\0\0\0", 8));
  add_value(values, L"line break", reg_sz, std::string("\n\0\0\0", 4));
  add_value(values, L"lone surrogate", reg_sz, std::string("\x00\xd8\0\0", 4));
  add_value(values, L"odd", reg_sz, std::string("a\0\0", 3));
  add_value(values, L"dword", reg_dword, std::string("\x2a\x00\x00\x80", 4));
  add_value(values, L"short dword", reg_dword, std::string("\x01\x02", 2));
  add_value(values, L"qword", reg_qword, std::string("\x01\0\0\0\0\0\0\0", 8));
  add_value(values, L"multi", reg_multi_sz, std::string("a\0\0\0\0\0", 6));
  add_value(values, L"expand", reg_expand_sz, std::string("%\0\0\0", 4));
  add_value(values, L"empty", reg_binary, "");
  add_value(values, L"none", reg_none, "");
  add_value(values, L"odd type", 0x12345678, "\x7f");
  add_value(values, L"\u4e2d", reg_binary, std::string(30, '\xab'));

  const std::string text = format_hive(root);
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_LOCAL_MACHINE]\n"
            "\"on root\"=\"r\"\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Software]\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Empty \xc3\x89t\xc3\xa9]\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Values]\n"
            "@=\"d\"\n"
            "\"q\\\"uo\\\\te\"=\"\\\\\\\"\xc3\xa9\"\n"
            "\"no terminator\"=hex(1):61,00\n"
            "\"inner nul\"=hex(1):61,00,00,00,62,00,00,00\n"
            "\"line break\"=hex(1):0a,00,00,00\n"
            "\"lone surrogate\"=hex(1):00,d8,00,00\n"
            "\"odd\"=hex(1):61,00,00\n"
            "\"dword\"=dword:8000002a\n"
            "\"short dword\"=hex(4):01,02\n"
            "\"qword\"=hex(b):01,00,00,00,00,00,00,00\n"
            "\"multi\"=hex(7):61,00,00,00,00,00\n"
            "\"expand\"=hex(2):25,00,00,00\n"
            "\"empty\"=hex:\n"
            "\"none\"=hex(0):\n"
            "\"odd type\"=hex(12345678):7f\n"
            "\"\xe4\xb8\xad\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\n"
            "  ab,ab,ab,ab,ab,ab,ab,ab\n"
            "\n");

  const std::unique_ptr<key_node> reread = parse_hive(text, "f.reg");
  EXPECT_EQ(format_hive(*reread), text);
  EXPECT_EQ(describe_values(key_at(*reread, {L"Software", L"Values"})), describe_values(values));
}

}  // namespace
}  // namespace win32::registry

#endif  // _WIN32
