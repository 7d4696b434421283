#pragma once
// Answers to the questions that the checks ask of a table once per row or
// per device: how many rows hold a given id or moniker, and which text the
// first row with a given id holds. Each question stands for one per-row
// statement:
//
//   count_question  "SELECT count(<counted>) FROM <table> WHERE <key> = ?"
//   text_question   "SELECT <text> FROM <table> WHERE <key> = ? [AND <number> = n]",
//                   its first row
//
// and every answer is the one that statement gives. Asked one at a time, a
// statement is an index look-up where the key column has an index and a
// scan of the whole table where it has none; the databases are written by
// other programs, which need not index them, and per-row scans make a
// verification grow with the square of the installation. So where the
// answers are provably the statement's, the first question about a table
// reads the whole table in one pass and answers from memory:
//
// - By id, always: the pass keeps the rows where "<key> = CAST(<key> AS
//   INTEGER) + 0" holds, under the integer that the cast makes. That is the
//   statement's own comparison, with the column's affinity and collation,
//   against a value without affinity, as a bound integer is; and a row can
//   only equal the integer that the cast makes of it.
// - By moniker, where the schema declares the key column of a table with
//   TEXT or BLOB affinity (no conversion of the bound text) and the BINARY
//   collation: there SQL's "=" on texts is exact comparison. Rows whose key
//   holds a zero character never equal a bound text (it ends at its first
//   zero) and are left out.
// - The first text: where only one row has the key (and number), it is the
//   first row in any order. Where several have it, the statement's plan
//   (an index it uses, or none) chooses the first, and the statement itself
//   answers.
//
// Elsewhere (other affinities and collations, views) the per-row statement
// answers, prepared once and reset for each question. The way is decided
// for each question at its first use, from the schema.
//
// One exception, on the safe side: a key that is not valid UTF-8 in a UTF-8
// database is compared after its conversion, as the one-pass read compares
// every key. The statement, binding the text that the conversion made of the
// same bytes in another table, would not find it, and a repair would delete
// the row that it protects. On the per-row path these rows come from one
// pass as well, and add to the statement's count (which never has them).
//
// The one-pass statement names the same columns in the same order as the
// per-row statement, so a missing table or column fails with the same SQLite
// message, at the first question; a table that no question is asked about is
// never read. A failed pass or statement is not kept: the next question
// tries again, as the next per-row statement would.
//
// The answers stand for the tables as they were read: verification does not
// change the databases while it runs. forget() and clear() drop them.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlite/sqlite.h"

namespace netkeep {

// A question, declared once by the check that asks it (at namespace scope)
// and known to table_answers by its serial number, which no other question
// ever has: answers cannot be confused by questions built elsewhere, only a
// question built anew each time would read its table anew each time. Names
// are SQL as the statement writes them ("[device]" is the column device).
class question {
 public:
  question(const question&) = delete;
  question& operator=(const question&) = delete;

  std::size_t serial() const { return serial_; }
  const std::string& table() const { return table_; }
  const std::string& key() const { return key_; }

 protected:
  question(std::string table, std::string key);
  ~question() = default;

 private:
  std::size_t serial_;
  std::string table_;
  std::string key_;  // the column compared with the id or moniker
};

class count_question : public question {
 public:
  count_question(std::string counted, std::string table, std::string key);

  const std::string& counted() const { return counted_; }  // the column that count() counts
  // "SELECT count(<counted>) FROM <table> WHERE <key> = ?"
  std::string statement() const;

 private:
  std::string counted_;
};

class text_question : public question {
 public:
  // "SELECT <text> FROM <table> WHERE <key> = ?"
  text_question(std::string text, std::string table, std::string key);
  // "SELECT <text> FROM <table> WHERE <key> = ? AND <number_column> = <number>"
  text_question(std::string text, std::string table, std::string key, std::string number_column,
                std::int32_t number);

  const std::string& text() const { return text_; }  // the column read
  const std::optional<std::string>& number_column() const { return number_column_; }
  std::int32_t number() const { return number_; }
  std::string statement() const;

 private:
  std::string text_;
  std::optional<std::string> number_column_;
  std::int32_t number_ = 0;
};

class table_answers {
 public:
  table_answers();
  ~table_answers();
  table_answers(const table_answers&) = delete;
  table_answers& operator=(const table_answers&) = delete;

  // The count that the question's statement gives for the id or moniker.
  // Throws sqlite::error when the table cannot be read.
  std::int64_t count(const sqlite::database& db, const count_question& question, std::int64_t id);
  std::int64_t count(const sqlite::database& db, const count_question& question, std::wstring_view moniker);

  // The counts that the question's statement gives for each of `ids`, in
  // their order. Where the question has not read its table yet, one pass
  // over it keeps the counts of these ids only and nothing for later
  // questions: for a few ids asked of a large table. Up to a thousand ids,
  // where the statement finds its rows through an index (its query plan
  // searches and never scans), the statement answers for each instead.
  // Throws sqlite::error when the table cannot be read.
  std::vector<std::int64_t> counts(const sqlite::database& db, const count_question& question,
                                   const std::vector<std::int64_t>& ids);

  // The text column of the statement's first row for the id; nothing when
  // it gives none. NULL reads as the empty text. Throws sqlite::error when
  // the table cannot be read.
  std::optional<std::wstring> first_text(const sqlite::database& db, const text_question& question,
                                         std::int64_t id);

  // Reads the tables of the questions that have not read theirs yet, one
  // pass for the questions about one table, key and number column: their
  // answers are then those that first_text gives, read once. Where that
  // pass fails, nothing is kept, and each question reads its own table at
  // its first use, as it would without this call.
  void read_together(const sqlite::database& db, std::span<const text_question* const> questions);

  // Forgets what was read for the question, and every table that no other
  // question still uses: a check that is done with its questions gives
  // their memory back. Asked again, the question reads its table anew.
  void forget(const question& question);

  // Forgets every answer, so that the next question reads its table again.
  void clear();

  class table;  // the answers read from one table by one statement

 private:
  // What is known of one question.
  struct asked;

  // Which rows of a pass a table keeps: all, or those whose key (with its
  // bytes in column 2) is not valid UTF-8.
  enum class rows_kept { all, keys_not_utf8 };

  asked& known(const question& question);
  // One pass for text questions about one table, key and number column,
  // each about another text column.
  void read_texts(const sqlite::database& db, const std::vector<const text_question*>& columns);
  table& read(const sqlite::database& db, const std::string& sql, bool text_key, bool text_answer, rows_kept kept);

  std::map<std::string, std::unique_ptr<table>, std::less<>> tables_;  // by one-pass statement
  std::vector<std::unique_ptr<asked>> asked_;                         // by question serial
};

}  // namespace netkeep
