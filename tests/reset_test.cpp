// `reset` end to end, and the round trip that it makes possible: an
// installation exported, reset and imported again is the installation it
// was.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/archive_bytes.h"
#include "tests/support/folder_snapshot.h"
#include "tests/support/hive_listing.h"
#include "tests/support/sample_configuration.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string cleared = "\r           \r";  // after "reseting: "

class ResetCommand : public ::testing::Test {
 protected:
  void put(const std::string& relative, const std::string& bytes) const {
    const fs::path path = installation.data_directory() / relative;
    fs::create_directories(path.parent_path());
    write_file(path, bytes);
  }

  // A hive_listing line of a REG_SZ value.
  static std::string text_value(const std::string& name, const std::wstring& text) {
    return name + " 1 " + hex_bytes(sz_data(text)) + "\n";
  }

  test_installation installation;
};

TEST_F(ResetCommand, KeepsOnlyWhatTheTablesProtectAndASecondResetFindsNothingMore) {
  installation.set_registry(section("") + "\n@=\"root default\"\n\n" + sample_configuration(true) + "\n" +
                            section("KAT\\Sub\\Deeper") + "\n\n" + section("kat") + "\n\"More\"=\"gone\"\n");
  installation.create_databases();
  put("Network.db-journal", "journal");
  put("notes.txt", "notes");
  put("upper.DB", "kept");
  put("Other/o.db", "kept");
  put("Switching/a/b.txt", "b");
  put("Switching/c.txt", "c");
  put("PIM/p.bin", "p");
  fs::create_directories(installation.data_directory() / "Switching/empty");

  const std::string expected_registry =
      "[]\n" + text_value("path", text::from_utf8((installation.root() / "install").string())) +
      text_value("version", L"3.0") + "[KAT]\n" + text_value("LocalAddress", L"10.0.0.1") + "[System]\n" +
      text_value("Secret", L"s") + "[System\\Inner]\n[WebServices]\n" + text_value("Url", L"http://x");
  const std::map<std::string, std::string> expected_files = {
      {"Other", "<folder>"},        {"Other/o.db", "kept"},        {"PIM", "<folder>"},
      {"Switching", "<folder>"},    {"Switching/a", "<folder>"},   {"Switching/empty", "<folder>"},
      {"notes.txt", "notes"},       {"upper.DB", "kept"},
  };

  for (int round = 1; round <= 2; ++round) {
    run_result r = installation.run({"reset"});
    EXPECT_EQ(r.err, cleared) << round;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(hive_listing(installation), expected_registry) << round;
    EXPECT_EQ(folder_snapshot(installation.data_directory()), expected_files) << round;
  }
}

TEST_F(ResetCommand, DeletesWholeTreesIncludingKeysNamedLikeExcludedOnesBelowTheTop) {
  installation.set_registry(section("A\\B\\C\\D") + "\n\"v\"=\"1\"\n\n" + section("A\\B\\E") + "\n\n" +
                            section("A\\System") + "\n\n" + section("A\\WebServices\\X") + "\n\n" +
                            section("B") + "\n\n" + section("Z\\KAT") + "\n\"LocalAddress\"=\"x\"\n");
  ASSERT_EQ(installation.run({"reset"}).status, 0);
  EXPECT_EQ(hive_listing(installation),
            "[]\n" + text_value("path", text::from_utf8((installation.root() / "install").string())) +
                text_value("version", L"3.0"));
}

TEST_F(ResetCommand, AnEmptyDataDirectoryOrNoneAtAll) {
  ASSERT_EQ(installation.run({"reset"}).status, 0);
  fs::remove_all(installation.data_directory());
  run_result r = installation.run({"reset"});
  EXPECT_EQ(r.err, cleared);
  EXPECT_EQ(r.status, 0);
}

TEST_F(ResetCommand, AValueNameTooLongToEnumerateEndsExportAndResetInsteadOfBeingSkipped) {
  installation.set_registry(section("KAT") + "\n\"" + std::string(256, 'n') + "\"=\"long\"\n\"After\"=\"x\"\n");
  installation.create_databases();
  const auto files_before = folder_snapshot(installation.data_directory());
  for (const char* command : {"export", "reset"}) {
    std::vector<std::string> words = {command};
    if (words[0] == "export") words.push_back("all.nka");
    run_result r = installation.run(words);
    EXPECT_TRUE(r.err.ends_with("\rAn error occurred: More data is available.\n")) << r.err;
    EXPECT_EQ(r.status, 1) << command;
  }
  EXPECT_FALSE(fs::exists(installation.root() / "all.nka"));
  EXPECT_EQ(folder_snapshot(installation.data_directory()), files_before);
}

TEST_F(ResetCommand, ExportResetAndImportGiveBackTheInstallation) {
  installation.set_registry(sample_configuration());
  installation.create_databases();
  installation.sql("Network.db", "CREATE TABLE extra(x); INSERT INTO extra VALUES (1), (2);");
  installation.sql("Switching.db", "CREATE TABLE extra(x); INSERT INTO extra VALUES ('s');");
  put("notes.txt", "notes");
  put("Switching/a/b.txt", "b");
  put("Switching/c.bin", "\0\xff"s);
  put("PIM/p.bin", std::string(600000, 'p'));
  const std::string registry_before = hive_listing(installation);
  const auto files_before = folder_snapshot(installation.data_directory());

  ASSERT_EQ(installation.run({"export", "all.nka"}).status, 0);
  ASSERT_EQ(installation.run({"reset"}).status, 0);
  ASSERT_NE(hive_listing(installation), registry_before);
  ASSERT_NE(folder_snapshot(installation.data_directory()), files_before);

  run_result r = installation.run({"import", "all.nka"});
  EXPECT_EQ(r.err, "\r            \r");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(hive_listing(installation), registry_before);
  EXPECT_EQ(folder_snapshot(installation.data_directory()), files_before);
}

}  // namespace
}  // namespace netkeep::testing
