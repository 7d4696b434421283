#pragma once
// Differential target: the answers of table_answers against the per-row
// statements run by SQLite itself. The input builds one small table in a
// database in memory (UTF-8, UTF-16le or UTF-16be): declared types and
// collations of its columns, a primary key or none (with or without rowid),
// indexes on the key columns, and rows from a pool of values that collide
// under the comparisons (integers, reals, texts that look like numbers,
// blobs, NULL, non-ASCII texts, texts with a zero character). Then every kind
// of question that the checks ask is asked of both, for ids and monikers of
// a second pool. The statements are run through SQLite's C interface, texts
// bound and read up to their first zero character; a count by moniker adds
// the rows of the one exception (keys not valid UTF-8, compared after
// conversion). Any difference is a finding; the target returns its
// description (empty when there is none).

#include <array>
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "platform/text/unicode.h"
#include "report/table_answers.h"

namespace netkeep::fuzz {
namespace answers {

// Column names: the key k, a number n, the text read tx and the counted c.
inline const char* const declared_types[] = {"",     "INTEGER", "TEXT",    "NUMERIC", "REAL",   "BLOB",
                                             "INT8", "VARCHAR(9)", "CLOB", "DATE",    "FLOATING POINT", "STRING"};
inline const char* const collations[] = {"", " COLLATE BINARY", " COLLATE NOCASE", " COLLATE RTRIM"};

// Values as SQL literals; UTF-8 in the SQL text, stored in the database's
// encoding. The last ones are texts that are not valid UTF-8, made only in
// UTF-8 databases (elsewhere they are NULL).
inline const char* const values[] = {
    "NULL",     "0",        "1",         "5",          "-1",      "123",     "9223372036854775807",
    "5.0",      "0.5",      "-0.0",      "1e20",       "123.0",   "'5'",     "'05'",
    "' 5'",     "'5 '",     "'5.0'",     "'1e1'",      "'+5'",    "'0123'",  "'123'",
    "'M5'",     "'m5'",     "'M5 '",     "' M5'",      "'M5  '",  "'\xC3\xA9'", "'\xC3\x89'",
    "'(none)'", "''",       "'M5' || char(0) || 'x'", "char(0)", "'5' || char(0)", "'\xF0\x9F\x98\x80'",
    "x'4d35'",  "x''",      "x'35'",     "'M' || char(0)", "'m5' || char(0) || 'y'", "'1'", "'0'",
    "CAST(x'4d35ff' AS TEXT)", "CAST(x'4d3580' AS TEXT)", "CAST(x'c3' AS TEXT)",
};
inline constexpr std::size_t invalid_utf8_values = 3;

inline const std::int64_t ids[] = {-1, 0, 1, 2, 5, 123, INT64_MAX, INT64_MIN};
inline const wchar_t* const monikers[] = {
    L"5",  L"05", L" 5", L"5 ", L"5.0", L"1e1", L"+5",     L"0123",  L"123",   L"M5",        L"m5",
    L"M5 ", L" M5", L"M5  ", L"\u00e9", L"\u00c9", L"(none)", L"",      L"1",     L"0",         L"-1",
    L"9223372036854775807", L"\U0001F600", L"M", L"20.0", L"1e20", L"123.0",
    L"M5\ufffd", L"M5\u0080", L"\ufffd",  // conversions of the invalid UTF-8 values
};

// The questions, declared once: counts by the key under each name form, first
// texts with and without the number.
struct questions {
  count_question counted{"c", "t", "k"};
  count_question rows{"[rowid]", "t", "[k]"};
  count_question keys{"k", "t", "\"k\""};
  text_question text{"tx", "t", "k"};
  text_question number_0{"tx", "t", "k", "n", 0};
  text_question number_1{"tx", "t", "[k]", "[n]", 1};
  // Texts of another column, read in one pass with those of tx.
  text_question other_text{"c", "t", "k"};
  text_question other_number_0{"c", "t", "k", "n", 0};
};

inline const questions& all_questions() {
  static const questions q;
  return q;
}

// What the per-row statement gives: a count, or the first row's text.
class oracle {
 public:
  oracle(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK) {
      sqlite3_finalize(statement_);
      statement_ = nullptr;
    }
  }
  oracle(const oracle&) = delete;
  oracle& operator=(const oracle&) = delete;
  ~oracle() { sqlite3_finalize(statement_); }

  bool prepared() const { return statement_ != nullptr; }

  std::optional<std::wstring> first(std::int64_t id) {
    sqlite3_reset(statement_);
    sqlite3_bind_int64(statement_, 1, id);
    return step();
  }
  std::optional<std::wstring> first(const std::wstring& text) {
    sqlite3_reset(statement_);
    const std::u16string bound = text::to_utf16(text);
    sqlite3_bind_text16(statement_, 1, bound.c_str(), -1, SQLITE_TRANSIENT);
    return step();
  }

 private:
  std::optional<std::wstring> step() {
    if (sqlite3_step(statement_) != SQLITE_ROW) return std::nullopt;
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(statement_, 0));
    std::wstring read;
    if (text != nullptr) text::append_from_utf16(read, std::u16string_view(text));  // up to the first zero
    return read;
  }

  sqlite3_stmt* statement_ = nullptr;
};

// The rows that the statement never finds for a bound text, but that count
// by the exception on the safe side: in a UTF-8 database, keys that are not
// valid UTF-8, where their conversion equals the text.
inline std::int64_t unconvertible_rows(sqlite3* db, const count_question& q, const std::wstring& bound) {
  sqlite3_stmt* rows = nullptr;
  const std::string sql = "SELECT " + q.counted() + " IS NOT NULL, " + q.key() + ", " + q.key() + " FROM t WHERE typeof(" +
                          q.key() + ") = 'text' AND (SELECT encoding FROM pragma_encoding) = 'UTF-8'";
  std::int64_t count = 0;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &rows, nullptr) == SQLITE_OK) {
    while (sqlite3_step(rows) == SQLITE_ROW) {
      const std::string_view bytes(static_cast<const char*>(sqlite3_column_blob(rows, 2)),
                                   static_cast<std::size_t>(sqlite3_column_bytes(rows, 2)));
      if (text::is_utf8(bytes) || bytes.find('\0') != std::string_view::npos) continue;
      std::wstring converted;
      text::append_from_utf16(converted, static_cast<const char16_t*>(sqlite3_column_text16(rows, 1)));
      if (converted == bound) count += sqlite3_column_int64(rows, 0);
    }
  }
  sqlite3_finalize(rows);
  return count;
}

inline std::string show(const std::optional<std::wstring_view>& text) {
  return text ? "'" + text::to_utf8(*text) + "'" : "none";
}

// Builds the table of the input in `db` and returns its schema and rows as
// SQL, for the description of a finding.
inline std::string build_table(sqlite::database& db, fuzz_input& input) {
  static const char* const encodings[] = {"UTF-8", "UTF-16le", "UTF-16be"};
  const std::size_t encoding = input.byte() % 3;
  std::string script = std::string("PRAGMA encoding = '") + encodings[encoding] + "';\n";
  db.exec(script);

  const auto column = [&](const char* name) {
    return std::string(name) + " " + declared_types[input.byte() % std::size(declared_types)] +
           collations[input.byte() % std::size(collations)];
  };
  std::string create = "CREATE TABLE t (" + column("k") + ", " + column("n") + ", " + column("tx") + ", " + column("c");
  const std::uint8_t shape = input.byte();
  switch (shape % 5) {
    case 1:
      create += ", PRIMARY KEY (k))";
      break;
    case 2:
      create += ", PRIMARY KEY (k, n))";
      break;
    case 3:
      create += ", PRIMARY KEY (k, n)) WITHOUT ROWID";
      break;
    default:
      create += ")";
  }
  script += create + ";\n";
  db.exec(create);

  static const char* const indexes[] = {"k",        "k, tx",       "k, n",         "k, n, tx", "k DESC, tx DESC",
                                        "k COLLATE NOCASE", "k, tx COLLATE RTRIM", "tx", "n, k"};
  const std::uint8_t chosen = input.byte();
  for (std::size_t i = 0; i < 8; ++i) {
    if (((chosen >> i) & 1) == 0) continue;
    const std::string index = "CREATE INDEX i" + std::to_string(i) + " ON t (" + indexes[(i + shape) % std::size(indexes)] + ")";
    script += index + ";\n";
    db.exec(index);
  }

  const std::size_t row_count = input.byte() % 13;
  for (std::size_t row = 0; row < row_count; ++row) {
    std::string insert = "INSERT OR IGNORE INTO t VALUES (";
    for (int c = 0; c < 4; ++c) {
      const std::size_t value = input.byte() % std::size(values);
      const bool invalid_utf8 = value >= std::size(values) - invalid_utf8_values;
      insert += std::string(c > 0 ? ", " : "") + (invalid_utf8 && encoding != 0 ? "NULL" : values[value]);
    }
    insert += ")";
    try {
      db.exec(insert);
      script += insert + ";\n";
    } catch (const sqlite::error&) {
      // A value that the key's type refuses (an INTEGER PRIMARY KEY).
    }
  }
  return script;
}

// Compares every answer with its statement's; the first difference found,
// described, or the empty text.
inline std::string table_answers_target(const std::uint8_t* data, std::size_t size) {
  fuzz_input input(data, size);
  sqlite::database db;
  db.open(L":memory:");
  const std::string script = build_table(db, input);
  const questions& q = all_questions();
  table_answers answers;
  std::ostringstream finding;

  const auto differs = [&](const std::string& statement, const std::string& asked, const std::string& ours,
                           const std::string& sqlites) {
    finding << script << statement << " with " << asked << ": table_answers " << ours << ", SQLite " << sqlites
            << "\n";
  };

  for (const count_question* count : {&q.counted, &q.rows, &q.keys}) {
    oracle per_row(db.handle(), count->statement());
    if (!per_row.prepared()) {
      // A WITHOUT ROWID table has no rowid: the answers fail as well.
      try {
        answers.count(db, *count, 1);
      } catch (const sqlite::error&) {
        continue;
      }
      differs(count->statement(), "1", "an answer", "an error");
      return finding.str();
    }
    {
      // All ids at once (one of them twice), from a pass that keeps theirs
      // only: before any other question has read the table.
      table_answers fresh;
      std::vector<std::int64_t> asked(std::begin(ids), std::end(ids));
      asked.push_back(asked[1]);
      const std::vector<std::int64_t> ours = fresh.counts(db, *count, asked);
      for (std::size_t i = 0; i < asked.size(); ++i) {
        const std::optional<std::wstring> sqlites = per_row.first(asked[i]);
        if (!sqlites || std::to_wstring(ours[i]) != *sqlites) {
          differs(count->statement(), "the ids at once, " + std::to_string(asked[i]), std::to_string(ours[i]),
                  show(sqlites));
          return finding.str();
        }
      }
    }
    for (std::int64_t id : ids) {
      const std::int64_t ours = answers.count(db, *count, id);
      const std::optional<std::wstring> sqlites = per_row.first(id);
      if (!sqlites || std::to_wstring(ours) != *sqlites) {
        differs(count->statement(), std::to_string(id), std::to_string(ours), show(sqlites));
        return finding.str();
      }
    }
    for (const wchar_t* moniker : monikers) {
      for (const std::wstring& asked : {std::wstring(moniker), std::wstring(moniker) + L'\0' + L"x"}) {
        const std::int64_t ours = answers.count(db, *count, asked);
        std::optional<std::wstring> sqlites = per_row.first(asked);
        if (sqlites) *sqlites = std::to_wstring(std::stoll(*sqlites) + unconvertible_rows(db.handle(), *count, moniker));
        if (!sqlites || std::to_wstring(ours) != *sqlites) {
          differs(count->statement(), show(asked), std::to_string(ours), show(sqlites));
          return finding.str();
        }
      }
    }
  }

  // The texts asked one by one, and read together for both columns.
  table_answers together;
  const std::array<const text_question*, 5> texts = {&q.text, &q.number_0, &q.number_1, &q.other_text,
                                                     &q.other_number_0};
  together.read_together(db, texts);
  for (const text_question* text : texts) {
    oracle per_row(db.handle(), text->statement());
    for (std::int64_t id : ids) {
      const std::optional<std::wstring> sqlites = per_row.first(id);
      for (table_answers* asked : {&answers, &together}) {
        const std::optional<std::wstring> ours = asked->first_text(db, *text, id);
        if (ours != sqlites) {
          differs(text->statement(), std::to_string(id) + (asked == &together ? " (read together)" : ""), show(ours),
                  show(sqlites));
          return finding.str();
        }
      }
    }
  }
  return "";
}

}  // namespace answers

inline std::string table_answers_target(const std::uint8_t* data, std::size_t size) {
  return answers::table_answers_target(data, size);
}

}  // namespace netkeep::fuzz
