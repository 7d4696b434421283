#include "report/table_answers.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "fuzz/table_answers_target.h"

namespace netkeep {
namespace {

// A database in memory whose statements are counted.
class TableAnswers : public ::testing::Test {
 protected:
  TableAnswers() {
    db.open(L":memory:");
    sqlite3_trace_v2(db.handle(), SQLITE_TRACE_STMT, count_statement, &statements);
  }

  static int count_statement(unsigned, void* context, void*, void*) {
    ++*static_cast<int*>(context);
    return 0;
  }

  // What the per-row statement that the question stands for gives.
  std::int64_t per_row_count(const count_question& q, std::int64_t id) {
    sqlite::statement count(db, q.statement());
    count.bind_int64(1, id);
    return count.step() ? count.column_int64(0) : -1;
  }
  std::int64_t per_row_count(const count_question& q, const std::wstring& moniker) {
    sqlite::statement count(db, q.statement());
    count.bind_text(1, moniker);
    return count.step() ? count.column_int64(0) : -1;
  }

  sqlite::database db;
  table_answers answers;
  int statements = 0;
};

// Ids stored as integers, reals and texts, in columns of each affinity, are
// matched as a bound integer matches them.
TEST_F(TableAnswers, CountsByIdFollowTheColumnsAffinity) {
  db.exec(
      "CREATE TABLE typed (id INTEGER, other TEXT); CREATE TABLE texts (id TEXT, other TEXT);"
      "CREATE TABLE untyped (id, other);");
  for (const char* table : {"typed", "texts", "untyped"}) {
    db.exec(std::string("INSERT INTO ") + table +
            " VALUES (5, 'a'), ('05', 'b'), (5.0, 'c'), (5.5, NULL), ('5', NULL), (NULL, 'd'), (x'35', 'e'),"
            "(-7, 'f'), (9223372036854775807, 'g'), ('abc', 'h'), (' 6', 'i'), (6, 'j');");
  }
  for (const char* table : {"typed", "texts", "untyped"}) {
    for (const char* counted : {"id", "other"}) {
      const count_question q{counted, table, "id"};
      for (std::int64_t id : std::vector<std::int64_t>{5, 6, 0, -7, 9223372036854775807, 1}) {
        EXPECT_EQ(answers.count(db, q, id), per_row_count(q, id)) << table << " " << counted << " " << id;
      }
    }
  }
}

TEST_F(TableAnswers, CountsByMonikerAreExact) {
  db.exec(
      "CREATE TABLE texts (device TEXT, n INTEGER); CREATE TABLE untyped (device, n);"
      "INSERT INTO texts VALUES ('M1', 1), ('m1', 2), ('M1', NULL), ('M1 ', 3), (7, 4), (NULL, 5), ('', 6);"
      "INSERT INTO untyped VALUES ('M1', 1), ('m1', 2), ('M1', NULL), (7, 4), ('7', 5), (x'4d31', 6);");
  for (const char* table : {"texts", "untyped"}) {
    for (const char* counted : {"device", "n", "[rowid]"}) {
      const count_question q{counted, table, "device"};
      for (const std::wstring moniker : {L"M1", L"m1", L"M1 ", L"7", L"", L"M2"}) {
        EXPECT_EQ(answers.count(db, q, moniker), per_row_count(q, moniker)) << table << " " << counted;
      }
    }
  }
}

TEST_F(TableAnswers, FirstTextIsTheFirstRowOfTheKeyAndNumber) {
  db.exec(
      "CREATE TABLE channel (inband INTEGER, number INTEGER, device TEXT);"
      "INSERT INTO channel VALUES (3, 0, 'first'), (3, 1, 'other'), (3, 0, 'second'), (4, 0, NULL), (4, '1', 'x');");
  const text_question number_0{"device", "channel", "inband", "number", 0};
  const text_question number_1{"device", "channel", "inband", "number", 1};
  EXPECT_EQ(answers.first_text(db, number_0, 3), L"first");
  EXPECT_EQ(answers.first_text(db, number_1, 3), L"other");
  EXPECT_EQ(answers.first_text(db, number_0, 4), L"");  // NULL
  EXPECT_EQ(answers.first_text(db, number_1, 4), L"x");
  EXPECT_EQ(answers.first_text(db, number_0, 5), std::nullopt);

  const text_question without_number{"device", "channel", "inband"};
  EXPECT_EQ(answers.first_text(db, without_number, 3), L"first");
}

// Rows of one key next to each other and apart, in and out of key order.
TEST_F(TableAnswers, RowsOfOneKeyAddUpAndTheFirstTextWins) {
  db.exec(
      "CREATE TABLE channel (inband INTEGER, number INTEGER, device TEXT);"
      "INSERT INTO channel VALUES (1, 0, 'a'), (1, 0, 'b'), (2, 0, 'c'), (2, 0, 'd'), (1, 0, 'e'), (0, 0, 'f');"
      "CREATE TABLE sorted (inband INTEGER, number INTEGER, device TEXT);"
      "INSERT INTO sorted VALUES (1, 0, 'M1'), (1, 1, 'M1'), (2, 0, 'M2'), (2, 0, 'M3'), (3, 0, NULL);");
  const text_question channel_device{"device", "channel", "inband", "number", 0};
  EXPECT_EQ(answers.first_text(db, channel_device, 1), L"a");
  EXPECT_EQ(answers.first_text(db, channel_device, 2), L"c");
  EXPECT_EQ(answers.first_text(db, channel_device, 0), L"f");
  const text_question sorted_device{"device", "sorted", "inband", "number", 0};
  const text_question sorted_device_1{"device", "sorted", "inband", "number", 1};
  EXPECT_EQ(answers.first_text(db, sorted_device, 2), L"M2");
  EXPECT_EQ(answers.first_text(db, sorted_device_1, 1), L"M1");
  EXPECT_EQ(answers.first_text(db, sorted_device, 3), L"");

  for (const char* table : {"channel", "sorted"}) {
    const count_question by_inband{"device", table, "inband"};
    const count_question by_device{"inband", table, "device"};
    for (std::int64_t inband : {0, 1, 2, 3, 4}) {
      EXPECT_EQ(answers.count(db, by_inband, inband), per_row_count(by_inband, inband)) << table << " " << inband;
    }
    for (const std::wstring device : {L"a", L"b", L"M1", L"M2", L"M3", L"", L"x"}) {
      EXPECT_EQ(answers.count(db, by_device, device), per_row_count(by_device, device)) << table;
    }
  }
}

// Questions in the table's order, against it, and scattered find the same
// answers (a search starts where the last one ended).
TEST_F(TableAnswers, AnswersDoNotDependOnTheOrderOfQuestions) {
  db.exec("CREATE TABLE t (id INTEGER, n INTEGER);");
  std::map<std::int64_t, std::int64_t> expected;
  for (std::int64_t id = 0; id < 300; id += 3) {
    for (std::int64_t k = 0; k <= id % 4; ++k) {
      db.exec("INSERT INTO t VALUES (" + std::to_string(id) + ", " + std::to_string(k) + ");");
      ++expected[id];
    }
  }
  const count_question q{"n", "t", "id"};
  std::vector<std::int64_t> ids;
  for (std::int64_t id = -2; id < 305; ++id) ids.push_back(id);
  std::vector<std::int64_t> order = ids;
  order.insert(order.end(), ids.rbegin(), ids.rend());
  for (std::size_t i = 0; i < ids.size(); ++i) order.push_back(ids[(i * 101) % ids.size()]);
  for (std::int64_t id : order) {
    const auto count = expected.find(id);
    EXPECT_EQ(answers.count(db, q, id), count != expected.end() ? count->second : 0) << id;
  }
}

// Questions that read the same columns share one pass, and a text handed
// out stays valid while other tables are read. A key of several rows is
// answered by the per-row statement, once.
TEST_F(TableAnswers, QuestionsOfTheSameColumnsShareOneRead) {
  db.exec(
      "CREATE TABLE map (id INTEGER, moniker TEXT); INSERT INTO map VALUES (1, 'one'), (2, 'two'), (3, 'b'), (3, 'a');"
      "CREATE INDEX map_id ON map (id, moniker);"
      "CREATE TABLE other (id INTEGER); INSERT INTO other VALUES (1);");
  statements = 0;
  const text_question first{"moniker", "map", "id"};
  const text_question second{"moniker", "map", "id"};
  const std::optional<std::wstring> one = answers.first_text(db, first, 1);
  EXPECT_EQ(answers.first_text(db, second, 2), L"two");
  EXPECT_EQ(statements, 1);
  const count_question other{"id", "other", "id"};
  EXPECT_EQ(answers.count(db, other, 1), 1);
  EXPECT_EQ(statements, 2);
  const std::optional<std::wstring> three = answers.first_text(db, first, 3);
  EXPECT_EQ(three, L"a");  // the index's order
  EXPECT_EQ(answers.first_text(db, first, 3), L"a");
  EXPECT_EQ(statements, 3);
  EXPECT_EQ(one, L"one");
  EXPECT_EQ(three, L"a");

  // Questions about other columns of one table and key, read together.
  table_answers together;
  const text_question ids{"id", "map", "id"};
  statements = 0;
  together.read_together(db, std::array<const text_question*, 2>{&first, &ids});
  EXPECT_EQ(together.first_text(db, first, 2), L"two");
  EXPECT_EQ(together.first_text(db, ids, 2), L"2");
  EXPECT_EQ(statements, 1);
}

TEST_F(TableAnswers, ATableIsReadOnceAtItsFirstQuestion) {
  db.exec("CREATE TABLE t (id INTEGER); INSERT INTO t VALUES (1), (1), (2);");
  statements = 0;
  const count_question q{"id", "t", "id"};
  EXPECT_EQ(statements, 0);
  EXPECT_EQ(answers.count(db, q, 1), 2);
  EXPECT_EQ(answers.count(db, q, 2), 1);
  EXPECT_EQ(answers.count(db, q, 3), 0);
  EXPECT_EQ(statements, 1);

  // Answers stand for the table as it was read, until cleared.
  db.exec("INSERT INTO t VALUES (3);");
  EXPECT_EQ(answers.count(db, q, 3), 0);
  answers.clear();
  EXPECT_EQ(answers.count(db, q, 3), 1);
}

// A forgotten question's table stays while another question uses it.
TEST_F(TableAnswers, AForgottenQuestionKeepsTheTablesOthersStillUse) {
  db.exec("CREATE TABLE map (id INTEGER, moniker TEXT); INSERT INTO map VALUES (1, 'one');");
  const text_question first{"moniker", "map", "id"};
  const text_question second{"moniker", "map", "id"};
  EXPECT_EQ(answers.first_text(db, first, 1), L"one");
  EXPECT_EQ(answers.first_text(db, second, 1), L"one");
  statements = 0;
  answers.forget(first);
  db.exec("UPDATE map SET moniker = 'new';");
  EXPECT_EQ(answers.first_text(db, second, 1), L"one");
  answers.forget(second);
  EXPECT_EQ(answers.first_text(db, first, 1), L"new");
  EXPECT_EQ(statements, 2);  // the update and one new read
}

// A missing table or column fails with the message of the per-row
// statement, at every question, until it can be read.
TEST_F(TableAnswers, AFailureIsTheStatementsAndIsNotKept) {
  const count_question missing_table{"allocator", "allocation", "allocator"};
  EXPECT_THROW(
      {
        try {
          answers.count(db, missing_table, 1);
        } catch (const sqlite::error& e) {
          EXPECT_STREQ(e.what(), "no such table: allocation");
          throw;
        }
      },
      sqlite::error);
  db.exec("CREATE TABLE allocation (id INTEGER, allocator INTEGER, past INTEGER);");
  EXPECT_EQ(answers.count(db, missing_table, 1), 0);

  // Columns are named in the per-row statement's order: the counted or read
  // column first, then the key, then the number.
  const auto message = [&](auto ask) -> std::string {
    try {
      ask();
    } catch (const sqlite::error& e) {
      return e.what();
    }
    return "";
  };
  const count_question absent_counted{"absent", "allocation", "missing"};
  const count_question absent_key{"past", "allocation", "missing"};
  const text_question absent_text{"absent", "allocation", "missing", "gone", 0};
  const text_question absent_text_key{"past", "allocation", "missing", "gone", 0};
  const text_question absent_number{"past", "allocation", "id", "gone", 0};
  EXPECT_EQ(message([&] { answers.count(db, absent_counted, 1); }), "no such column: absent");
  EXPECT_EQ(message([&] { answers.count(db, absent_key, 1); }), "no such column: missing");
  EXPECT_EQ(message([&] { answers.count(db, absent_key, L"M"); }), "no such column: missing");
  EXPECT_EQ(message([&] { answers.first_text(db, absent_text, 1); }), "no such column: absent");
  EXPECT_EQ(message([&] { answers.first_text(db, absent_text_key, 1); }), "no such column: missing");
  EXPECT_EQ(message([&] { answers.first_text(db, absent_number, 1); }), "no such column: gone");

  // Read together with a question of a missing column, a question answers
  // as alone, and the other fails with its own message.
  db.exec("INSERT INTO allocation VALUES (7, 1, 9);");
  table_answers together;
  const text_question present{"past", "allocation", "id"};
  const text_question absent{"absent", "allocation", "id"};
  const std::array<const text_question*, 2> both = {&absent, &present};
  together.read_together(db, both);
  EXPECT_EQ(message([&] { together.first_text(db, absent, 7); }), "no such column: absent");
  EXPECT_EQ(together.first_text(db, present, 7), L"9");
}

// A text that is not valid UTF-8 in a UTF-8 database is compared after its
// conversion, as read from another table: the statement, binding the
// converted text, would not find the row that holds the same bytes.
TEST_F(TableAnswers, AnInvalidUtf8KeyMatchesItsConversion) {
  db.exec(
      "PRAGMA encoding = 'UTF-8';"
      "CREATE TABLE device_allocation (allocation INTEGER, moniker TEXT);"
      "INSERT INTO device_allocation VALUES (1, CAST(x'4d35ff' AS TEXT)), (2, 'M5');");
  sqlite::statement read(db, "SELECT moniker FROM device_allocation WHERE allocation = 1");
  ASSERT_TRUE(read.step());
  const std::wstring converted = read.column_text(0);
  const count_question allocations{"allocation", "device_allocation", "moniker"};
  EXPECT_EQ(per_row_count(allocations, converted), 0);
  EXPECT_EQ(answers.count(db, allocations, converted), 1);
  EXPECT_EQ(answers.count(db, allocations, L"M5"), 1);

  // The same where the per-row statement answers.
  db.exec(
      "CREATE TABLE nocase (allocation INTEGER, moniker TEXT COLLATE NOCASE);"
      "INSERT INTO nocase VALUES (1, CAST(x'4d35ff' AS TEXT)), (2, 'm5'), (NULL, CAST(x'4d35ff' AS TEXT));");
  const count_question nocase{"allocation", "nocase", "moniker"};
  EXPECT_EQ(answers.count(db, nocase, converted), 1);
  EXPECT_EQ(answers.count(db, nocase, L"M5"), 1);
}

// Keys the schema compares otherwise than exactly (collations, affinities
// that convert the bound text), keys of several rows under an index, and
// texts with a zero character (bound and read up to it).
TEST_F(TableAnswers, AnswersAreTheStatementsOnEverySchema) {
  db.exec(
      "CREATE TABLE nocase (device TEXT COLLATE NOCASE); INSERT INTO nocase VALUES ('m5');"
      "CREATE TABLE numeric (device NUMERIC); INSERT INTO numeric VALUES ('0123');"
      "CREATE TABLE rtrim (device TEXT COLLATE RTRIM); INSERT INTO rtrim VALUES ('M5  ');"
      "CREATE TABLE nul (device TEXT); INSERT INTO nul VALUES ('M5' || char(0) || 'x');"
      "CREATE TABLE map (id INTEGER, moniker TEXT); CREATE INDEX map_id ON map (id, moniker);"
      "INSERT INTO map VALUES (9, 'MB'), (9, 'MA'), (8, 'M8' || char(0) || 'x');");
  const count_question nocase{"[rowid]", "nocase", "[device]"};
  const count_question numeric{"[rowid]", "numeric", "[device]"};
  const count_question rtrim{"[rowid]", "rtrim", "[device]"};
  const count_question nul{"[rowid]", "nul", "[device]"};
  EXPECT_EQ(answers.count(db, nocase, L"M5"), 1);
  EXPECT_EQ(answers.count(db, numeric, L"0123"), 1);
  EXPECT_EQ(answers.count(db, numeric, L"123"), 1);
  EXPECT_EQ(answers.count(db, rtrim, L"M5"), 1);
  EXPECT_EQ(answers.count(db, nul, L"M5"), 0);
  EXPECT_EQ(answers.count(db, nul, std::wstring(L"M5\0x", 4)), 0);

  const text_question moniker{"moniker", "map", "id"};
  EXPECT_EQ(answers.first_text(db, moniker, 9), L"MA");
  EXPECT_EQ(answers.first_text(db, moniker, 8), L"M8");
}

// Thousands of random tables (see fuzz/table_answers_target.h): every
// answer is the per-row statement's.
TEST(TableAnswersDifferential, EveryAnswerIsTheStatements) {
  std::mt19937 random(17);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int table = 0; table < 4000; ++table) {
    std::vector<std::uint8_t> input(64);
    for (std::uint8_t& b : input) b = static_cast<std::uint8_t>(byte(random));
    const std::string finding = fuzz::table_answers_target(input.data(), input.size());
    ASSERT_EQ(finding, "") << "table " << table;
  }
}

}  // namespace
}  // namespace netkeep
