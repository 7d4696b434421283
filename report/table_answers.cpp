#include "report/table_answers.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace netkeep {
namespace {

// A row's key as the per-row statement compares it with a bound id: the
// condition holds for exactly the integer that the second column holds.
std::string id_key(const char* key) { return std::string("CAST(") + key + " AS INTEGER) + 0"; }

// Counts are made from one row each ("<counted> IS NOT NULL" is what
// count() adds for the row) and added up per key here: grouping in SQLite
// would sort the table first, or visit it in the order of an index.
std::string count_by_id_sql(const count_question& q) {
  return std::string("SELECT ") + q.counted + " IS NOT NULL, " + id_key(q.key) + " FROM " + q.table + " WHERE " +
         q.key + " = " + id_key(q.key);
}

std::string count_by_moniker_sql(const count_question& q) {
  return std::string("SELECT ") + q.counted + " IS NOT NULL, " + q.key + " FROM " + q.table + " WHERE " + q.key +
         " = CAST(" + q.key + " AS TEXT) || ''";
}

std::string text_by_id_sql(const text_question& q) {
  const std::string number = q.number != nullptr ? id_key(q.number) : "0";
  std::string sql = std::string("SELECT ") + q.text + ", " + id_key(q.key) + ", " + number + " FROM " + q.table +
                    " WHERE " + q.key + " = " + id_key(q.key);
  if (q.number != nullptr) sql += std::string(" AND ") + q.number + " = " + number;
  return sql;
}

}  // namespace

// The rows of one statement, column 0 the answer (a count or a text) and
// column 1 the key (an id or a moniker), for texts column 2 a second number
// of the key, sorted by key; counts are added up per key. Texts are kept end
// to end in one string, so that a table of many rows costs few allocations.
class table_answers::table {
 public:
  table(const sqlite::database& db, const std::string& sql, bool text_key, bool text_answer)
      : text_key_(text_key), text_answer_(text_answer) {
    sqlite::statement rows(db, sql);
    while (rows.step()) {
      const std::size_t texts_before = texts_.size();
      entry e{};
      if (text_answer_) {
        e.text = keep(rows, 0);
        e.number = rows.column_int64(2);
      } else {
        e.count = rows.column_int64(0);
      }
      if (text_key_) {
        e.text = keep(rows, 1);
      } else {
        e.id = rows.column_int64(1);
      }
      // Rows of one key often follow each other (a table kept in the order
      // of its key): the first row's text is the answer, and counts add up.
      if (!entries_.empty() && same_key(entries_.back(), e)) {
        entries_.back().count += e.count;
        texts_.resize(texts_before);
        continue;
      }
      entries_.push_back(e);
    }
    const auto by_key = [this](const entry& a, const entry& b) { return less(key_of(a), key_of(b)); };
    if (!std::is_sorted(entries_.begin(), entries_.end(), by_key)) {
      // Stable, so that the first of equal keys is the first row read.
      std::stable_sort(entries_.begin(), entries_.end(), by_key);
      if (!text_answer_) merge_counts();
    }
    entries_.shrink_to_fit();
  }

  std::int64_t count(std::int64_t id) const {
    const entry* e = find({id, 0, {}});
    return e != nullptr ? e->count : 0;
  }

  std::int64_t count(std::wstring_view moniker) const {
    const entry* e = find({0, 0, moniker});
    return e != nullptr ? e->count : 0;
  }

  std::optional<std::wstring_view> text(std::int64_t id, std::int64_t number) const {
    const entry* e = find({id, number, {}});
    if (e == nullptr) return std::nullopt;
    return view(e->text);
  }

 private:
  struct span {
    std::size_t offset = 0;
    std::size_t length = 0;
  };
  // One key and its answer. The text is the answer of a text table and the
  // key of a table of counts by moniker.
  struct entry {
    std::int64_t id;
    std::int64_t number;
    std::int64_t count;
    span text;
  };
  struct key {
    std::int64_t id;
    std::int64_t number;
    std::wstring_view moniker;
  };

  span keep(const sqlite::statement& rows, int column) {
    const std::size_t offset = texts_.size();
    rows.append_column_text(column, texts_);
    return {offset, texts_.size() - offset};
  }

  std::wstring_view view(span s) const { return std::wstring_view(texts_).substr(s.offset, s.length); }

  key key_of(const entry& e) const { return {e.id, e.number, text_key_ ? view(e.text) : std::wstring_view()}; }

  bool less(const key& a, const key& b) const {
    if (text_key_) return a.moniker < b.moniker;
    return a.id != b.id ? a.id < b.id : a.number < b.number;
  }

  bool same_key(const entry& a, const entry& b) const {
    return !less(key_of(a), key_of(b)) && !less(key_of(b), key_of(a));
  }

  // Rows of one key add up.
  void merge_counts() {
    std::vector<entry> merged;
    merged.reserve(entries_.size());
    for (const entry& e : entries_) {
      if (!merged.empty() && same_key(merged.back(), e)) {
        merged.back().count += e.count;
      } else {
        merged.push_back(e);
      }
    }
    entries_.swap(merged);
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
  std::wstring texts_;
  std::vector<entry> entries_;
  mutable std::size_t last_ = 0;  // where the last search ended
};

table_answers::table_answers() = default;
table_answers::~table_answers() = default;

std::size_t table_answers::address_hash::operator()(const question_address& address) const {
  std::size_t hash = static_cast<std::size_t>(address.answers);
  for (const char* text : address.texts) hash = hash * 31 + std::hash<const char*>()(text);
  return hash;
}

template <class MakeSql>
table_answers::table& table_answers::read(const sqlite::database& db, const question_address& address,
                                          MakeSql make_sql) {
  if (auto known = by_address_.find(address); known != by_address_.end()) return *known->second;
  const std::string sql = make_sql();
  auto found = tables_.find(sql);
  if (found == tables_.end()) {
    auto read = std::make_unique<table>(db, sql, address.answers == kind::count_by_moniker,
                                        address.answers == kind::text_by_id);  // a failure keeps nothing
    found = tables_.emplace(sql, std::move(read)).first;
  }
  by_address_.emplace(address, found->second.get());
  return *found->second;
}

std::int64_t table_answers::count(const sqlite::database& db, const count_question& question, std::int64_t id) {
  const question_address address{kind::count_by_id, {question.counted, question.table, question.key, nullptr}};
  return read(db, address, [&] { return count_by_id_sql(question); }).count(id);
}

std::int64_t table_answers::count(const sqlite::database& db, const count_question& question,
                                  std::wstring_view moniker) {
  const question_address address{kind::count_by_moniker,
                                 {question.counted, question.table, question.key, nullptr}};
  return read(db, address, [&] { return count_by_moniker_sql(question); }).count(moniker);
}

std::optional<std::wstring_view> table_answers::first_text(const sqlite::database& db, const text_question& question,
                                                           std::int64_t id, std::int64_t number) {
  const question_address address{kind::text_by_id,
                                 {question.text, question.table, question.key, question.number}};
  return read(db, address, [&] { return text_by_id_sql(question); }).text(id, number);
}

void table_answers::clear() {
  by_address_.clear();
  tables_.clear();
}

}  // namespace netkeep
