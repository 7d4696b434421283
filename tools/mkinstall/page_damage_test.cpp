#include "tools/mkinstall/page_damage.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/sqlite/sqlite.h"
#include "platform/text/unicode.h"
#include "tools/mkinstall/sql_rows.h"

namespace mkinstall {
namespace {

class PageDamage : public ::testing::Test {
 protected:
  PageDamage()
      : file_(std::filesystem::temp_directory_path() /
              ("page-damage-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db")) {
    std::filesystem::remove(file_);
    db_.open(netkeep::text::from_path(file_));
  }
  ~PageDamage() override {
    if (db_.is_open()) db_.close();
    std::filesystem::remove(file_);
  }

  std::vector<std::int64_t> ids(const std::string& sql) {
    std::vector<std::int64_t> result;
    sqlite::statement rows(db_, sql);
    while (rows.step()) result.push_back(rows.column_int64(0));
    return result;
  }

  std::string bytes() const {
    std::ifstream in(file_, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }

  std::filesystem::path file_;
  sqlite::database db_;
};

TEST_F(PageDamage, ALostLastLeafEndsAScanAfterTheOtherRows) {
  db_.exec("CREATE TABLE t (id INTEGER PRIMARY KEY, bandwidth INTEGER, description BLOB)");
  for (std::int64_t id : {101, 102, 103}) execute(db_, "INSERT INTO t (id, bandwidth) VALUES (?, 36000000)", id);
  // A row that fills its own leaf page.
  execute(db_, "INSERT INTO t (id, description) VALUES (?, ?)", 9'000'000'000'000'000'000, blob{std::string(8148, 'Q')});
  const auto root = static_cast<std::uint32_t>(query_int64(db_, "SELECT rootpage FROM sqlite_master WHERE name = 't'"));
  db_.close();
  lose_last_leaf(file_, root, 1);

  db_.open(netkeep::text::from_path(file_));
  sqlite::statement scan(db_, "SELECT id FROM t");
  std::vector<std::int64_t> seen;
  try {
    while (scan.step()) seen.push_back(scan.column_int64(0));
    FAIL() << "the scan should fail";
  } catch (const sqlite::error& e) {
    EXPECT_STREQ(e.what(), "database disk image is malformed");
  }
  EXPECT_EQ(seen, (std::vector<std::int64_t>{101, 102, 103}));
}

TEST_F(PageDamage, RefusesATableOfOnePageAndLeavesTheFile) {
  db_.exec("CREATE TABLE t (id INTEGER PRIMARY KEY, bandwidth INTEGER)");
  execute(db_, "INSERT INTO t (id, bandwidth) VALUES (1, 2)");
  const auto root = static_cast<std::uint32_t>(query_int64(db_, "SELECT rootpage FROM sqlite_master WHERE name = 't'"));
  db_.close();
  const std::string before = bytes();
  EXPECT_THROW(lose_last_leaf(file_, root, 1), std::runtime_error);
  EXPECT_EQ(bytes(), before);
}

TEST_F(PageDamage, ABrokenOverflowChainFailsOnlyTheColumnsBehindIt) {
  db_.exec("CREATE TABLE a (id INTEGER PRIMARY KEY, allocator INTEGER, comment BLOB, past INTEGER)");
  execute(db_, "INSERT INTO a VALUES (5, 9, NULL, 77)");
  execute(db_, "INSERT INTO a VALUES (6, 9, ?, 78)", blob{std::string(20000, 'Z')});
  db_.close();
  break_overflow_chain(file_, 'Z');

  db_.open(netkeep::text::from_path(file_));
  EXPECT_EQ(ids("SELECT allocator FROM a"), (std::vector<std::int64_t>{9, 9}));
  EXPECT_EQ(ids("SELECT past FROM a WHERE id = 5"), (std::vector<std::int64_t>{77}));
  EXPECT_THROW(ids("SELECT past FROM a WHERE id = 6"), sqlite::error);
}

TEST_F(PageDamage, RefusesWhenNoRecordCarriesTheMarker) {
  db_.exec("CREATE TABLE a (id INTEGER PRIMARY KEY, comment BLOB)");
  execute(db_, "INSERT INTO a VALUES (1, ?)", blob{std::string(20000, 'Y')});
  db_.close();
  EXPECT_THROW(break_overflow_chain(file_, 'Z'), std::runtime_error);
}

}  // namespace
}  // namespace mkinstall
