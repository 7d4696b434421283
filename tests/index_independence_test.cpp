// Verification and repair do not depend on the indexes of the databases: the
// same installation built with and without indexes gives the same verify
// output, byte for byte, and the same databases and registry after repair.
// Every check runs, on an installation with every fault of mkinstall.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/sqlite/sqlite.h"
#include "platform/text/unicode.h"
#include "tests/support/generated_installation.h"

namespace netkeep::testing {
namespace {

// Every row of every table of the database, in rowid order, each value
// quoted as SQL writes it. A table that cannot be read to its end (the page
// damage of some faults) ends its listing with the error.
std::string table_contents(const std::filesystem::path& file) {
  sqlite::database db;
  db.open(text::from_path(file));
  std::vector<std::wstring> tables;
  {
    sqlite::statement names(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    while (names.step()) tables.push_back(names.column_text(0));
  }
  std::ostringstream out;
  for (const std::wstring& table : tables) {
    const std::string name = text::to_utf8(table);
    out << "table " << name << "\n";
    std::string columns;
    {
      sqlite::statement info(db, "SELECT name FROM pragma_table_info('" + name + "') ORDER BY cid");
      while (info.step()) {
        columns += (columns.empty() ? "quote([" : " || ',' || quote([") + text::to_utf8(info.column_text(0)) + "])";
      }
    }
    try {
      sqlite::statement rows(db, "SELECT " + columns + " FROM [" + name + "] ORDER BY rowid");
      while (rows.step()) out << text::to_utf8(rows.column_text(0)) << "\n";
    } catch (const sqlite::error& e) {
      out << "error: " << e.what() << "\n";
    }
  }
  db.close();
  return out.str();
}

std::string databases(const std::filesystem::path& installation) {
  std::string all;
  for (const char* file : {"Network.db", "Switching.db", "DeviceRedundancy.db"}) {
    all += std::string("database ") + file + "\n" + table_contents(installation / "install" / "data" / file);
  }
  return all;
}

// The hive file, with the installation's own folder written as "<folder>"
// (as the program under test names it in "path").
std::string registry(const std::filesystem::path& installation) {
  std::ifstream in(installation / "registry.reg", std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  for (const std::string& folder : {installation.string(), reg_escape(program_path(installation))}) {
    for (std::size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at)) {
      text.replace(at, folder.size(), "<folder>");
    }
  }
  return text;
}

class IndexIndependence : public ::testing::TestWithParam<const char*> {
 protected:
  void create_pair(const std::vector<std::string>& options) {
    std::vector<std::string> bare = options;
    bare.push_back("--no-indexes");
    folder.create("indexed", options);
    folder.create("bare", bare);
  }

  generated_installations folder;
};

TEST_P(IndexIndependence, VerifyAndRepairGiveTheSameResults) {
  create_pair({"--sites", "60", "--seed", GetParam(), "--faults", "all"});

  const run_result indexed = folder.netkeep("indexed", {"verify"});
  const run_result bare = folder.netkeep("bare", {"verify"});
  ASSERT_NE(listed_problems(indexed.out).size(), 0u) << indexed.err;
  EXPECT_EQ(indexed.out, bare.out);
  EXPECT_EQ(indexed.err, bare.err);
  EXPECT_EQ(indexed.status, bare.status);

  const run_result indexed_repair = folder.netkeep("indexed", {"repair"});
  const run_result bare_repair = folder.netkeep("bare", {"repair"});
  EXPECT_NE(indexed_repair.err.find("repairs complete"), std::string::npos) << indexed_repair.err;
  EXPECT_EQ(indexed_repair.out, bare_repair.out);
  EXPECT_EQ(indexed_repair.err, bare_repair.err);
  EXPECT_EQ(databases(folder.installation("indexed")), databases(folder.installation("bare")));
  EXPECT_EQ(registry(folder.installation("indexed")), registry(folder.installation("bare")));

  // What repair left behind verifies alike too.
  EXPECT_EQ(folder.netkeep("indexed", {"verify"}).out, folder.netkeep("bare", {"verify"}).out);
}

INSTANTIATE_TEST_SUITE_P(Seeds, IndexIndependence, ::testing::Values("1", "7"));

TEST(IndexIndependenceClean, AConsistentInstallationHasNoProblemsEitherWay) {
  generated_installations folder;
  folder.create("indexed", {"--sites", "60"});
  folder.create("bare", {"--sites", "60", "--no-indexes"});
  for (const char* name : {"indexed", "bare"}) {
    const run_result verify = folder.netkeep(name, {"verify"});
    EXPECT_EQ(verify.out, "") << name;
    EXPECT_NE(verify.err.find("No problems detected."), std::string::npos) << name << verify.err;
  }
}

}  // namespace
}  // namespace netkeep::testing
