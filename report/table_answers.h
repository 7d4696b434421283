#pragma once
// Answers to the questions that the checks ask of a table once per row or
// per device: how many rows hold a given id or moniker, and which text the
// first row with a given id holds. Asked one at a time with "... WHERE key =
// ?", each question is an index look-up where the key column has an index
// and a scan of the whole table where it has none; the databases are written
// by other programs, which need not index them, and per-row scans make a
// verification grow with the square of the installation. So the first
// question about a table reads the whole table in one pass, and that
// question and every later one are answered from memory.
//
// A question names the parts of the per-row statement that it stands for:
//
//   count_question  "SELECT count (<counted>) FROM <table> WHERE <key> = ?"
//   text_question   "SELECT <text> FROM <table> WHERE <key>=? [AND <number>=n]",
//                   first row
//
// The one-pass statement names the same columns in the same order, so a
// missing table or column fails with the same SQLite message, at the first
// question, as the per-row statement would; a table that no question is
// asked about is never read. A failed pass is not kept: the next question
// tries again, as the next per-row statement would.
//
// Each row's key is compared as the per-row statement compares it with the
// bound value, the column's affinity included: an id with "<key> =
// CAST(<key> AS INTEGER) + 0" (a row can only equal the integer that CAST
// makes of it, and "+ 0" leaves the bound-like value without affinity), a
// moniker with "<key> = CAST(<key> AS TEXT) || ''" and exact comparison of
// the texts, as monikers are compared everywhere.
//
// The answers stand for the tables as they were read: verification does not
// change the databases while it runs. clear() forgets them.
//
// Questions are asked once per row of large tables, so a question finds its
// answers by the addresses of its texts, which must stay unchanged while the
// answers are kept (string literals, as in every question of the program);
// questions with equal texts at other addresses share the same answers.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/sqlite/sqlite.h"

namespace netkeep {

struct count_question {
  const char* counted;  // the column that count() counts
  const char* table;
  const char* key;  // the column compared with the id or moniker
};

struct text_question {
  const char* text;  // the column read
  const char* table;
  const char* key;     // the column compared with the id
  const char* number;  // a column compared with a small number too, or null
};

class table_answers {
 public:
  table_answers();
  ~table_answers();
  table_answers(const table_answers&) = delete;
  table_answers& operator=(const table_answers&) = delete;

  // The count that the question's statement gives for the id or moniker (0
  // when no row has it). Throws sqlite::error when the table cannot be read.
  std::int64_t count(const sqlite::database& db, const count_question& question, std::int64_t id);
  std::int64_t count(const sqlite::database& db, const count_question& question, std::wstring_view moniker);

  // The text column of the first row (in the order the table is read) whose
  // key is the id (and whose number column is `number`, when the question
  // names one); nothing when no row has it. NULL reads as the empty text.
  // The text stays valid until clear(). Throws sqlite::error when the table
  // cannot be read.
  std::optional<std::wstring_view> first_text(const sqlite::database& db, const text_question& question,
                                              std::int64_t id, std::int64_t number = 0);

  // Forgets every answer, so that the next question reads its table again.
  void clear();

  class table;  // the answers read from one table by one statement

 private:
  enum class kind { count_by_id, count_by_moniker, text_by_id };
  // A question's kind and the addresses of its texts.
  struct question_address {
    kind answers;
    std::array<const char*, 4> texts;
    bool operator==(const question_address&) const = default;
  };
  struct address_hash {
    std::size_t operator()(const question_address& address) const;
  };

  // The answers of the question at `address`, read with `sql` (which it
  // makes only when the address is new) at its first question.
  template <class MakeSql>
  table& read(const sqlite::database& db, const question_address& address, MakeSql make_sql);

  std::map<std::string, std::unique_ptr<table>, std::less<>> tables_;  // by statement
  std::unordered_map<question_address, table*, address_hash> by_address_;
};

}  // namespace netkeep
