// Hive files that are damaged or unusual: a syntax error and a truncated
// file stop every command with the reader's message before anything is
// changed (the hive is never rewritten from what could be read of it); a
// hive in UTF-16 with a byte order mark is read like the UTF-8 one.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/text/unicode.h"
#include "tests/support/fault_support.h"
#include "tests/support/hive_listing.h"
#include "tests/support/network_fixture.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

const std::string cleared = "\r            \r";

class HiveFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_ON_WINDOWS_TARGET("the file-backed hive's file: the Windows registry has none");
    install_network(installation);
    install_network(source);
    EXPECT_EQ(source.run({"export", "source.nka"}).status, 0);
    archive = program_path(source.root() / "source.nka");
  }

  // Every command fails with the reader's `message` at the start and changes
  // nothing.
  void expect_every_command_refused(const std::string& message) {
    const installation_state before = save_state(installation);
    const std::vector<std::vector<std::string>> commands = {
        {"verify"}, {"repair"}, {"export", "out.nka"}, {"import", archive}, {"reset"}};
    for (const std::vector<std::string>& words : commands) {
      SCOPED_TRACE(words.front());
      run_result r = installation.run(words);
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, "An error occurred: " + installation.hive_file().string() + ":" + message + "\n");
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(save_state(installation), before);
    }
  }

  test_installation installation;
  test_installation source;
  std::string archive;
};

TEST_F(HiveFaults, ASyntaxErrorStopsEveryCommand) {
  std::string text = installation.registry_text();
  const std::size_t second_section = text.find("\n[", text.find("\n[") + 1) + 1;
  const std::size_t line = static_cast<std::size_t>(std::count(text.begin(), text.begin() + second_section, '\n')) + 1;
  text.insert(second_section, "this line is no registry line\n");
  write_file(installation.hive_file(), text);
  expect_every_command_refused(std::to_string(line) + ": expected a value or a section");
}

TEST_F(HiveFaults, ATruncatedHiveStopsEveryCommand) {
  // Cut inside the string value of the last key.
  std::string text = installation.registry_text();
  const std::size_t last_quote = text.rfind('"', text.rfind('"') - 1);
  const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.begin() + last_quote, '\n')) + 1;
  write_file(installation.hive_file(), text.substr(0, last_quote + 3));
  expect_every_command_refused(std::to_string(lines) + ": malformed string value");
}

TEST_F(HiveFaults, AHiveCutInsideAContinuedHexValueStopsEveryCommand) {
  installation.set_registry(network_registry() + section("Binary") + "\n\"Data\"=hex:01,02,03,\\\n  04,05,\\\n");
  const std::string text = installation.registry_text();
  write_file(installation.hive_file(), text.substr(0, text.rfind("  04")));
  const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.begin() + text.rfind("\"Data\""), '\n')) + 1;
  expect_every_command_refused(std::to_string(lines) + ": hex value continued past the end of the file");
}

TEST_F(HiveFaults, AHiveInUtf16WithAByteOrderMarkIsReadAndRewrittenWithEveryValue) {
  // With a shared antenna, so that repair has a registry repair to write.
  const std::string shared_antenna = section("Bandwidth\\Satellites\\2\\Antennas\\10") + "\n\"Name\"=\"Twin\"\n";
  install_network(installation, shared_antenna + "\n" + section("Notes") + "\n\"Text\"=\"caf\xC3\xA9 \xE2\x82\xAC\"\n");
  test_installation utf8;
  install_network(utf8, shared_antenna + "\n" + section("Notes") + "\n\"Text\"=\"caf\xC3\xA9 \xE2\x82\xAC\"\n");
  std::string crlf;
  for (char c : installation.registry_text()) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  write_file(installation.hive_file(), "\xFF\xFE" + text::to_utf16le(text::from_utf8(crlf)));
  // The listing names the installation path, which differs.
  const auto without_path = [](std::string listing) { return listing.substr(listing.find("\nversion ")); };
  EXPECT_EQ(without_path(hive_listing(installation)), without_path(hive_listing(utf8)));

  run_result verify = installation.run({"verify"});
  EXPECT_EQ(verify.out, utf8.run({"verify"}).out);
  EXPECT_EQ(verify.status, 0);

  run_result repair = installation.run({"repair"});
  EXPECT_EQ(repair.status, 0) << repair.err;
  ASSERT_EQ(utf8.run({"repair"}).status, 0);
  EXPECT_EQ(without_path(hive_listing(installation)), without_path(hive_listing(utf8)));
  EXPECT_TRUE(installation.registry_text().starts_with("Windows Registry Editor Version 5.00\n"));
}

}  // namespace
}  // namespace netkeep::testing

namespace netkeep::testing {
namespace {

// Names are one key when Windows would take them for one, by the program's
// own table rather than the host's locales: "É" and "é" are the same key,
// and so are "Ǆ" and "ǆ" and "ᾈ" and "ᾀ" (whose full upper case is two
// characters).
TEST(HiveFolding, NamesFoldAsWindowsFoldsThem) {
  SKIP_ON_WINDOWS_TARGET("the file-backed hive's file: the Windows registry has none");
  test_installation installation;
  installation.set_registry(section("\xC3\x89") + "\n\"a\"=dword:00000001\n\n" + section("\xC3\xA9") +
                            "\n\"b\"=dword:00000002\n\n" + section("\xC7\x84") + "\n\n" + section("\xC7\x86") +
                            "\n\n" + section("\xE1\xBE\x88") + "\n\n" + section("\xE1\xBE\x80") + "\n\n");
  run_result r = installation.run({"export", "out.nka"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string archive = read_file(installation.root() / "out.nka");
  for (const wchar_t* folded_away : {L"\u00E9", L"\u01C6", L"\u1F80"}) {
    EXPECT_EQ(archive.find(text::to_utf16le(folded_away)), std::string::npos);
  }
  EXPECT_NE(archive.find(text::to_utf16le(L"\u00C9")), std::string::npos);
}

}  // namespace
}  // namespace netkeep::testing
