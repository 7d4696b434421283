#include "report/table_answers.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/text/unicode.h"

namespace netkeep {
namespace {

// A row's key as the per-row statement compares it with a bound id: the
// condition holds for exactly the integer that the second column holds.
std::string id_key(const std::string& key) { return "CAST(" + key + " AS INTEGER) + 0"; }

// Counts are made from one row each ("<counted> IS NOT NULL" is what
// count() adds for the row) and added up per key here: grouping in SQLite
// would sort the table first, or visit it in the order of an index.
std::string count_by_id_sql(const count_question& q) {
  return "SELECT " + q.counted() + " IS NOT NULL, " + id_key(q.key()) + " FROM " + q.table() + " WHERE " + q.key() +
         " = " + id_key(q.key());
}

// The rows whose key is a text without a zero character.
std::string count_by_moniker_sql(const count_question& q) {
  return "SELECT " + q.counted() + " IS NOT NULL, " + q.key() + " FROM " + q.table() + " WHERE " + q.key() +
         " = CAST(" + q.key() + " AS TEXT) || '' AND instr(" + q.key() + ", char(0)) = 0";
}

// The rows whose key is a text without a zero character, with its bytes:
// the table keeps those that are not valid UTF-8.
std::string unconvertible_keys_sql(const count_question& q) {
  return "SELECT " + q.counted() + " IS NOT NULL, " + q.key() + ", CAST(" + q.key() + " AS BLOB) FROM " + q.table() +
         " WHERE typeof(" + q.key() + ") = 'text' AND instr(" + q.key() + ", char(0)) = 0";
}

// At most this many ids are looked up one by one by counts(): a look-up in
// an index costs microseconds, a pass over a table of a million rows most
// of a second.
constexpr std::size_t per_row_ids = 1024;

// True when SQLite finds the rows of `sql`, a per-row statement, through an
// index or the rowid: each step of its plan searches, none scans. A
// statement that does not prepare is left to the path that reports its
// error.
bool searches_without_scan(const sqlite::database& db, const std::string& sql) {
  try {
    sqlite::statement plan(db, "EXPLAIN QUERY PLAN " + sql);
    bool searches = false;
    while (plan.step()) {
      if (!plan.column_text(3).starts_with(L"SEARCH ")) return false;
      searches = true;
    }
    return searches;
  } catch (const sqlite::error&) {
    return false;
  }
}

bool is_utf8_database(const sqlite::database& db) {
  sqlite::statement encoding(db, "PRAGMA encoding");
  return encoding.step() && encoding.column_text(0) == L"UTF-8";
}

// Every number of the number column: questions about the same columns with
// different numbers share one pass. `more_texts` are read after the three
// columns, for a pass shared by questions about other text columns.
std::string text_by_id_sql(const text_question& q, const std::string& more_texts = {}) {
  const std::optional<std::string>& number = q.number_column();
  const std::string number_key = number ? id_key(*number) : "0";
  std::string sql = "SELECT " + q.text() + ", " + id_key(q.key()) + ", " + number_key + more_texts + " FROM " +
                    q.table() +
                    " WHERE " + q.key() + " = " + id_key(q.key());
  if (number) sql += " AND " + *number + " = " + number_key;
  return sql;
}

// A name as SQL writes it, without its quotes ("[device]", "\"device\"").
std::string unquoted(const std::string& name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') return name.substr(1, name.size() - 2);
  if (name.size() >= 2 && (name.front() == '"' || name.front() == '`') && name.back() == name.front()) {
    std::string inner;
    for (std::size_t i = 1; i + 1 < name.size(); ++i) {
      inner += name[i];
      if (name[i] == name.front()) ++i;  // a doubled quote
    }
    return inner;
  }
  return name;
}

bool contains(const std::string& upper, const char* part) { return upper.find(part) != std::string::npos; }

// True when the declared type gives the column TEXT or BLOB affinity (the
// rules of SQLite's datatypes, in their order): a bound text is then
// compared as it is, never converted to a number.
bool keeps_texts(const std::string& declared_type) {
  std::string upper = declared_type;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (contains(upper, "INT")) return false;
  if (contains(upper, "CHAR") || contains(upper, "CLOB") || contains(upper, "TEXT")) return true;
  return contains(upper, "BLOB") || upper.empty();
}

bool is_binary(std::string collation) {
  for (char& c : collation) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return collation == "BINARY";
}

// True when "<key> = ?" with a bound text is exact comparison of the texts
// in every row of the question's table.
bool compares_texts_exactly(const sqlite::database& db, const question& q) {
  const auto column = db.declared_column(unquoted(q.table()), unquoted(q.key()));
  return column && keeps_texts(column->type) && is_binary(column->collation);
}

std::size_t next_serial() {
  static std::atomic<std::size_t> serials{0};
  return serials++;
}

}  // namespace

question::question(std::string table, std::string key)
    : serial_(next_serial()), table_(std::move(table)), key_(std::move(key)) {}

count_question::count_question(std::string counted, std::string table, std::string key)
    : question(std::move(table), std::move(key)), counted_(std::move(counted)) {}

std::string count_question::statement() const {
  return "SELECT count(" + counted_ + ") FROM " + table() + " WHERE " + key() + " = ?";
}

text_question::text_question(std::string text, std::string table, std::string key)
    : question(std::move(table), std::move(key)), text_(std::move(text)) {}

text_question::text_question(std::string text, std::string table, std::string key, std::string number_column,
                             std::int32_t number)
    : question(std::move(table), std::move(key)),
      text_(std::move(text)),
      number_column_(std::move(number_column)),
      number_(number) {}

std::string text_question::statement() const {
  std::string sql = "SELECT " + text_ + " FROM " + table() + " WHERE " + key() + " = ?";
  if (number_column_) sql += " AND " + *number_column_ + " = " + std::to_string(number_);
  return sql;
}

// The rows of one statement, column 0 the answer (a count or a text) and
// column 1 the key (an id or a moniker), for texts column 2 a second number
// of the key, sorted by key; counts, and for texts the rows, are added up
// per key. An entry keyed by a moniker holds the moniker's first eight
// code units in its two numbers (four to a word, the first unit highest,
// zeros after the moniker's end): words that differ order two monikers as
// their code units do, so that most comparisons of a sort or a search need
// not read the texts, scattered over the blocks. Texts are kept as the
// UTF-16 code units that SQLite gives, each after its length, end to end in
// blocks (text_blocks): a table of many rows costs few allocations, two
// bytes a character and one word in its entry. The wide text and its code
// units stand for each other one to one, so equal code units are equal
// texts.
class table_answers::table {
 public:
  // An empty table, for a pass that fills several (add, then finish).
  table(bool text_key, bool text_answer) : text_key_(text_key), text_answer_(text_answer) {}

  // Every row of one pass of `sql`.
  table(const sqlite::database& db, const std::string& sql, bool text_key, bool text_answer, rows_kept kept)
      : table(text_key, text_answer) {
    sqlite::statement rows(db, sql);
    while (rows.step()) {
      if (kept == rows_kept::keys_not_utf8 && text::is_utf8(rows.column_bytes(2))) continue;
      add(rows, 0);
    }
    finish();
  }

  // Adds the current row of a pass; a text table's answer is in
  // `text_column`.
  void add(const sqlite::statement& rows, int text_column) {
    const char16_t* const texts_before = texts_.mark();
    entry e{};
    if (text_answer_) {
      e.text = texts_.keep(rows, text_column);
      e.number = rows.column_int64(2);
      e.count = 1;
    } else {
      e.count = rows.column_int64(0);
    }
    if (text_key_) {
      e.text = texts_.keep(rows, 1);
      std::tie(e.id, e.number) = prefix_of(text_blocks::view(e.text));
    } else {
      e.id = rows.column_int64(1);
    }
    // Rows of one key often follow each other (a table kept in the order
    // of its key): the first row's text is kept, and counts add up.
    if (!entries_.empty() && same_key(entries_.back(), e)) {
      entries_.back().count += e.count;
      texts_.forget_since(texts_before);
      return;
    }
    entries_.push_back(e);
  }

  // Puts the rows added in the order of their keys.
  void finish() {
    const auto by_key = [this](const entry& a, const entry& b) { return less(key_of(a), key_of(b)); };
    if (!std::is_sorted(entries_.begin(), entries_.end(), by_key)) {
      // The first text of a key is the first row read: a stable sort, which
      // takes a buffer of half the entries. Counts only add up, and sort in
      // place.
      if (text_answer_) {
        std::stable_sort(entries_.begin(), entries_.end(), by_key);
      } else {
        std::sort(entries_.begin(), entries_.end(), by_key);
      }
      merge_counts();
    }
  }

  std::int64_t count(std::int64_t id) const {
    const entry* e = find({id, 0, {}});
    return e != nullptr ? e->count : 0;
  }

  std::int64_t count(std::wstring_view moniker) const {
    const text::utf16_key key(moniker);
    const auto [first_units, next_units] = prefix_of(key.units());
    const entry* e = find({first_units, next_units, key.units()});
    return e != nullptr ? e->count : 0;
  }

  // The text of the first row read with the id and number, and how many
  // rows have them.
  struct text_rows {
    std::u16string_view text;
    std::int64_t rows;
  };
  std::optional<text_rows> text(std::int64_t id, std::int64_t number) const {
    const entry* e = find({id, number, {}});
    if (e == nullptr) return std::nullopt;
    return text_rows{text_blocks::view(e->text), e->count};
  }

 private:
  // Texts end to end in blocks that never move: a table's texts are
  // neither copied as they grow nor held twice while the last block fills.
  // A text is its length in one code unit (below 0x8000) or two (the high
  // bit of the first set), then its code units. SQLite's texts are shorter
  // than 2^31 units.
  class text_blocks {
   public:
    // Appends the column's text (NULL as the empty text) and returns where
    // it starts.
    const char16_t* keep(const sqlite::statement& rows, int column) {
      const std::u16string_view text = rows.column_text16(column);
      const std::size_t units = text.size() + (text.size() < 0x8000 ? 1 : 2);
      if (room_ < units) {
        const std::size_t size = std::max(block_units, units);
        blocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(size));
        next_ = blocks_.back().get();
        room_ = size;
      }
      char16_t* const start = next_;
      if (text.size() < 0x8000) {
        *next_++ = static_cast<char16_t>(text.size());
      } else {
        *next_++ = static_cast<char16_t>(0x8000 | (text.size() >> 16));
        *next_++ = static_cast<char16_t>(text.size() & 0xFFFF);
      }
      next_ = std::copy(text.begin(), text.end(), next_);
      room_ -= units;
      return start;
    }

    // The text kept at `start`.
    static std::u16string_view view(const char16_t* start) {
      std::size_t size = *start++;
      if (size >= 0x8000) size = ((size & 0x7FFF) << 16) | *start++;
      return {start, size};
    }

    // Where the next text goes.
    const char16_t* mark() const { return next_; }

    // Gives back the room of the texts kept since `mark`, unless they
    // started a new block (whose room is then simply left unused).
    void forget_since(const char16_t* mark) {
      if (blocks_.empty() || std::less<>{}(mark, blocks_.back().get()) || std::less<>{}(next_, mark)) return;
      room_ += static_cast<std::size_t>(next_ - mark);
      next_ = const_cast<char16_t*>(mark);
    }

   private:
    static constexpr std::size_t block_units = 16384;
    std::vector<std::unique_ptr<char16_t[]>> blocks_;
    char16_t* next_ = nullptr;
    std::size_t room_ = 0;
  };
  // One key and its answer. The text (kept by text_blocks) is the answer of
  // a text table and the key of a table of counts by moniker, whose id and
  // number then hold its prefix (prefix_of); a text table counts rows.
  struct entry {
    std::int64_t id;
    std::int64_t number;
    std::int64_t count;
    const char16_t* text;
  };
  struct key {
    std::int64_t id;
    std::int64_t number;
    std::u16string_view moniker;
  };

  key key_of(const entry& e) const {
    return {e.id, e.number, text_key_ ? text_blocks::view(e.text) : std::u16string_view()};
  }

  // The words of a moniker's first eight code units. Where the units of two
  // monikers' words first differ, either both monikers have a unit there
  // and these differ alike, or the one that ends there (a zero, below any
  // unit of the other) is a prefix of the other and comes first: unsigned
  // words that differ order monikers as their code units do, and equal
  // words leave it to the texts.
  static std::pair<std::int64_t, std::int64_t> prefix_of(std::u16string_view moniker) {
    std::array<std::uint64_t, 2> words{};
    for (std::size_t i = 0; i < 8; ++i) {
      const std::uint64_t unit = i < moniker.size() ? moniker[i] : 0;
      words[i / 4] |= unit << (16 * (3 - i % 4));
    }
    return {static_cast<std::int64_t>(words[0]), static_cast<std::int64_t>(words[1])};
  }

  bool less(const key& a, const key& b) const {
    if (text_key_) {
      const auto word = [](std::int64_t number) { return static_cast<std::uint64_t>(number); };
      if (a.id != b.id) return word(a.id) < word(b.id);
      if (a.number != b.number) return word(a.number) < word(b.number);
      return a.moniker < b.moniker;
    }
    return a.id != b.id ? a.id < b.id : a.number < b.number;
  }

  bool same_key(const entry& a, const entry& b) const {
    return !less(key_of(a), key_of(b)) && !less(key_of(b), key_of(a));
  }

  // Rows of one key add up; the first one's text stays.
  void merge_counts() {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (kept != 0 && same_key(entries_[kept - 1], entries_[i])) {
        entries_[kept - 1].count += entries_[i].count;
      } else {
        entries_[kept++] = entries_[i];
      }
    }
    entries_.resize(kept);
  }

  // The first entry of the key, or null. Checks often ask about keys in
  // the order of the table (walking a table kept in id order), so the
  // search starts where the last one ended, with steps that double from
  // there, and falls back to a binary search below it.
  const entry* find(const key& wanted) const {
    const auto before = [this, &wanted](const entry& e) { return less(key_of(e), wanted); };
    // The first entry that is not before `wanted` lies in [low, high].
    std::size_t low = 0;
    std::size_t high = entries_.size();
    if (last_ < high) {
      if (before(entries_[last_])) {
        low = last_ + 1;
        for (std::size_t step = 1; low + step <= high; step *= 2) {
          const std::size_t probe = low + step - 1;
          if (!before(entries_[probe])) {
            high = probe;
            break;
          }
          low = probe + 1;
        }
      } else {
        high = last_;
      }
    }
    const auto first = std::partition_point(entries_.begin() + low, entries_.begin() + high, before);
    last_ = static_cast<std::size_t>(first - entries_.begin());
    if (first == entries_.end() || less(wanted, key_of(*first))) return nullptr;
    return &*first;
  }

  bool text_key_;
  bool text_answer_;
  text_blocks texts_;
  // A deque grows in small chunks: no reallocation holds the entries twice.
  std::deque<entry> entries_;
  mutable std::size_t last_ = 0;  // where the last search ended
};

// What is known of one question: its one-pass answers by id and by
// moniker, and its per-row statement (prepared at its first need).
struct table_answers::asked {
  table* by_id = nullptr;
  table* by_moniker = nullptr;
  bool monikers_per_row = false;  // counts by moniker come from `per_row`
  std::unique_ptr<sqlite::statement> per_row;
  // Where `per_row` counts by moniker in a UTF-8 database: the rows whose
  // key is not valid UTF-8, compared after conversion.
  table* unconvertible = nullptr;
  // First texts that the per-row statement gave, by id: it runs once for
  // each id.
  std::map<std::int64_t, std::optional<std::wstring>> per_row_texts;

  sqlite::statement& statement(const sqlite::database& db, const std::string& sql) {
    if (per_row == nullptr) per_row = std::make_unique<sqlite::statement>(db, sql);
    per_row->reset();
    return *per_row;
  }
};

table_answers::table_answers() = default;
table_answers::~table_answers() = default;

table_answers::asked& table_answers::known(const question& question) {
  if (asked_.size() <= question.serial()) asked_.resize(question.serial() + 1);
  std::unique_ptr<asked>& slot = asked_[question.serial()];
  if (slot == nullptr) slot = std::make_unique<asked>();
  return *slot;
}

table_answers::table& table_answers::read(const sqlite::database& db, const std::string& sql, bool text_key,
                                          bool text_answer, rows_kept kept) {
  auto found = tables_.find(sql);
  if (found == tables_.end()) {
    auto read = std::make_unique<table>(db, sql, text_key, text_answer, kept);  // a failure keeps nothing
    found = tables_.emplace(sql, std::move(read)).first;
  }
  return *found->second;
}

std::int64_t table_answers::count(const sqlite::database& db, const count_question& question, std::int64_t id) {
  asked& a = known(question);
  if (a.by_id == nullptr) a.by_id = &read(db, count_by_id_sql(question), false, false, rows_kept::all);
  return a.by_id->count(id);
}

std::vector<std::int64_t> table_answers::counts(const sqlite::database& db, const count_question& question,
                                                const std::vector<std::int64_t>& ids) {
  std::vector<std::int64_t> answers(ids.size());
  const table* whole = question.serial() < asked_.size() && asked_[question.serial()] != nullptr
                           ? asked_[question.serial()]->by_id
                           : nullptr;
  if (whole != nullptr) {
    for (std::size_t i = 0; i < ids.size(); ++i) answers[i] = whole->count(ids[i]);
    return answers;
  }
  // A few ids, where the statement looks each up in an index: the
  // statement itself answers, without reading the whole table.
  if (ids.size() <= per_row_ids && searches_without_scan(db, question.statement())) {
    sqlite::statement& statement = known(question).statement(db, question.statement());
    for (std::size_t i = 0; i < ids.size(); ++i) {
      statement.bind_int64(1, ids[i]);
      answers[i] = statement.step() ? statement.column_int64(0) : 0;
      statement.reset();
    }
    return answers;
  }
  // The rows of the one-pass statement, added up for the wanted ids only.
  std::vector<std::int64_t> wanted = ids;
  std::sort(wanted.begin(), wanted.end());
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
  std::vector<std::int64_t> counted(wanted.size());
  const auto slot = [&wanted](std::int64_t id) { return std::lower_bound(wanted.begin(), wanted.end(), id); };
  sqlite::statement rows(db, count_by_id_sql(question));
  while (rows.step()) {
    const std::int64_t id = rows.column_int64(1);
    const auto found = slot(id);
    if (found != wanted.end() && *found == id) {
      counted[static_cast<std::size_t>(found - wanted.begin())] += rows.column_int64(0);
    }
  }
  for (std::size_t i = 0; i < ids.size(); ++i) {
    answers[i] = counted[static_cast<std::size_t>(slot(ids[i]) - wanted.begin())];
  }
  return answers;
}

std::int64_t table_answers::count(const sqlite::database& db, const count_question& question,
                                  std::wstring_view moniker) {
  asked& a = known(question);
  if (a.by_moniker == nullptr && !a.monikers_per_row) {
    if (compares_texts_exactly(db, question)) {
      a.by_moniker = &read(db, count_by_moniker_sql(question), true, false, rows_kept::all);
    } else {
      a.statement(db, question.statement());
      if (is_utf8_database(db)) {
        a.unconvertible = &read(db, unconvertible_keys_sql(question), true, false, rows_kept::keys_not_utf8);
      }
      a.monikers_per_row = true;
    }
  }
  // The moniker as bound: up to its first zero character.
  const std::wstring_view bound = moniker.substr(0, moniker.find(L'\0'));
  if (a.by_moniker != nullptr) return a.by_moniker->count(bound);

  sqlite::statement& statement = a.statement(db, question.statement());
  statement.bind_text(1, std::wstring(bound));
  const std::int64_t count = statement.step() ? statement.column_int64(0) : 0;
  statement.reset();  // no statement stays open between questions
  // The statement never finds the rows of `unconvertible`: the bound text is
  // valid UTF-8.
  return count + (a.unconvertible != nullptr ? a.unconvertible->count(bound) : 0);
}

std::optional<std::wstring> table_answers::first_text(const sqlite::database& db, const text_question& question,
                                                     std::int64_t id) {
  asked& a = known(question);
  if (a.by_id == nullptr) a.by_id = &read(db, text_by_id_sql(question), false, true, rows_kept::all);
  const std::optional<table::text_rows> found = a.by_id->text(id, question.number());
  if (!found) return std::nullopt;
  if (found->rows == 1) return text::from_utf16(found->text);

  auto [answer, is_new] = a.per_row_texts.try_emplace(id);
  if (is_new) {
    try {
      sqlite::statement& statement = a.statement(db, question.statement());
      statement.bind_int64(1, id);
      if (statement.step()) answer->second = statement.column_text(0);
      statement.reset();
    } catch (...) {
      a.per_row_texts.erase(answer);
      throw;
    }
  }
  return answer->second;
}

void table_answers::read_together(const sqlite::database& db, std::span<const text_question* const> questions) {
  std::vector<const text_question*> unread;
  for (const text_question* q : questions) {
    if (known(*q).by_id == nullptr && !tables_.contains(text_by_id_sql(*q))) unread.push_back(q);
  }
  while (!unread.empty()) {
    // One question for each text column of the first one's table, key and
    // number column.
    const text_question& lead = *unread.front();
    std::vector<const text_question*> columns;
    std::vector<const text_question*> others;
    for (const text_question* q : unread) {
      if (q->table() != lead.table() || q->key() != lead.key() || q->number_column() != lead.number_column()) {
        others.push_back(q);
      } else if (std::none_of(columns.begin(), columns.end(),
                              [q](const text_question* c) { return c->text() == q->text(); })) {
        columns.push_back(q);
      }
    }
    if (columns.size() > 1) read_texts(db, columns);
    unread = std::move(others);
  }
  for (const text_question* q : questions) {
    asked& a = known(*q);
    const auto found = tables_.find(text_by_id_sql(*q));
    if (a.by_id == nullptr && found != tables_.end()) a.by_id = found->second.get();
  }
}

void table_answers::read_texts(const sqlite::database& db, const std::vector<const text_question*>& columns) {
  std::string more_texts;
  for (std::size_t i = 1; i < columns.size(); ++i) more_texts += ", " + columns[i]->text();
  std::vector<std::unique_ptr<table>> read(columns.size());
  try {
    for (std::unique_ptr<table>& t : read) t = std::make_unique<table>(false, true);
    sqlite::statement rows(db, text_by_id_sql(*columns.front(), more_texts));
    while (rows.step()) {
      // The first text is column 0, the others follow the key's two.
      for (std::size_t i = 0; i < read.size(); ++i) read[i]->add(rows, i == 0 ? 0 : static_cast<int>(2 + i));
    }
    for (std::unique_ptr<table>& t : read) t->finish();
  } catch (const std::exception&) {
    // Nothing is kept: each question reads its own table when it is
    // asked, and meets the error there as it would have without this pass
    // (a column of another question may be the one missing or unreadable).
    return;
  }
  for (std::size_t i = 0; i < read.size(); ++i) tables_.emplace(text_by_id_sql(*columns[i]), std::move(read[i]));
}

void table_answers::forget(const question& question) {
  if (question.serial() >= asked_.size()) return;
  asked_[question.serial()].reset();
  const auto used = [this](const table* t) {
    return std::any_of(asked_.begin(), asked_.end(), [t](const std::unique_ptr<asked>& a) {
      return a != nullptr && (a->by_id == t || a->by_moniker == t || a->unconvertible == t);
    });
  };
  std::erase_if(tables_, [&used](const auto& entry) { return !used(entry.second.get()); });
}

void table_answers::clear() {
  asked_.clear();
  tables_.clear();
}

}  // namespace netkeep
