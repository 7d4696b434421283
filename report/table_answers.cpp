#include "report/table_answers.h"

#include <algorithm>
#include <vector>

namespace netkeep {
namespace {

// A row's key as the per-row statement compares it with a bound id: the
// condition holds for exactly the integer that the second column holds.
std::string id_key(const char* key) { return std::string("CAST(") + key + " AS INTEGER) + 0"; }

std::string count_by_id_sql(const count_question& q) {
  return std::string("SELECT count(") + q.counted + "), " + id_key(q.key) + " FROM " + q.table + " WHERE " + q.key +
         " = " + id_key(q.key) + " GROUP BY " + q.key;
}

std::string count_by_moniker_sql(const count_question& q) {
  return std::string("SELECT count(") + q.counted + "), " + q.key + " FROM " + q.table + " WHERE " + q.key +
         " = CAST(" + q.key + " AS TEXT) || '' GROUP BY " + q.key;
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
// of the key, sorted by key. Texts are kept end
// to end in one string, so that a table of many rows costs few allocations.
class table_answers::table {
 public:
  table(const sqlite::database& db, const std::string& sql, bool text_key, bool text_answer)
      : text_key_(text_key), text_answer_(text_answer) {
    sqlite::statement rows(db, sql);
    while (rows.step()) {
      entry e{};
      if (text_answer_) {
        e.text = keep(rows.column_text(0));
        e.number = rows.column_int64(2);
      } else {
        e.count = rows.column_int64(0);
      }
      if (text_key_) {
        e.moniker = keep(rows.column_text(1));
      } else {
        e.id = rows.column_int64(1);
      }
      entries_.push_back(e);
    }
    // Stable, so that the first of equal keys is the first row read.
    std::stable_sort(entries_.begin(), entries_.end(),
                     [this](const entry& a, const entry& b) { return less(key_of(a), key_of(b)); });
    if (!text_answer_) merge_counts();
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

  std::optional<std::wstring> text(std::int64_t id, std::int64_t number) const {
    const entry* e = find({id, number, {}});
    if (e == nullptr) return std::nullopt;
    return std::wstring(view(e->text));
  }

 private:
  struct span {
    std::size_t offset = 0;
    std::size_t length = 0;
  };
  struct entry {
    std::int64_t id;
    std::int64_t number;
    span moniker;
    std::int64_t count;
    span text;
  };
  struct key {
    std::int64_t id;
    std::int64_t number;
    std::wstring_view moniker;
  };

  span keep(const std::wstring& text) {
    span s{texts_.size(), text.size()};
    texts_ += text;
    return s;
  }

  std::wstring_view view(span s) const { return std::wstring_view(texts_).substr(s.offset, s.length); }

  key key_of(const entry& e) const { return {e.id, e.number, view(e.moniker)}; }

  bool less(const key& a, const key& b) const {
    if (text_key_) return a.moniker < b.moniker;
    return a.id != b.id ? a.id < b.id : a.number < b.number;
  }

  // Rows of one key that the statement still gave apart (a key that several
  // stored forms equal) add up.
  void merge_counts() {
    std::vector<entry> merged;
    merged.reserve(entries_.size());
    for (const entry& e : entries_) {
      if (!merged.empty() && !less(key_of(merged.back()), key_of(e))) {
        merged.back().count += e.count;
      } else {
        merged.push_back(e);
      }
    }
    entries_.swap(merged);
  }

  // The first entry of the key, or null.
  const entry* find(const key& wanted) const {
    auto first = std::lower_bound(entries_.begin(), entries_.end(), wanted,
                                  [this](const entry& e, const key& k) { return less(key_of(e), k); });
    if (first == entries_.end() || less(wanted, key_of(*first))) return nullptr;
    return &*first;
  }

  bool text_key_;
  bool text_answer_;
  std::wstring texts_;
  std::vector<entry> entries_;
};

table_answers::table_answers() = default;
table_answers::~table_answers() = default;

table_answers::table& table_answers::read(const sqlite::database& db, const std::string& sql, bool text_key,
                                          bool text_answer) {
  auto found = tables_.find(sql);
  if (found != tables_.end()) return *found->second;
  auto answers = std::make_unique<table>(db, sql, text_key, text_answer);  // a failure keeps nothing
  return *tables_.emplace(sql, std::move(answers)).first->second;
}

std::int64_t table_answers::count(const sqlite::database& db, const count_question& question, std::int64_t id) {
  return read(db, count_by_id_sql(question), false, false).count(id);
}

std::int64_t table_answers::count(const sqlite::database& db, const count_question& question,
                                  std::wstring_view moniker) {
  return read(db, count_by_moniker_sql(question), true, false).count(moniker);
}

std::optional<std::wstring> table_answers::first_text(const sqlite::database& db, const text_question& question,
                                                      std::int64_t id, std::int64_t number) {
  return read(db, text_by_id_sql(question), false, true).text(id, number);
}

void table_answers::clear() { tables_.clear(); }

}  // namespace netkeep
