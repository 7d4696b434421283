#pragma once
// Writing rows through the project's SQLite layer: a prepared statement that
// is bound, stepped and rewound for every row, and one-off statements with
// parameters.

#include <cstdint>
#include <string>
#include <type_traits>

#include "platform/sqlite/sqlite.h"

namespace mkinstall {

// Bytes bound as a BLOB (a std::string is bound as a blob only when wrapped).
struct blob {
  std::string bytes;
};

// Binds one value to the 1-based parameter `index`: integers as 64-bit
// integers, wide strings as text, blobs as blobs, nullptr as NULL.
inline void bind_value(sqlite::statement& statement, int index, std::nullptr_t) { (void)statement, (void)index; }
inline void bind_value(sqlite::statement& statement, int index, const std::wstring& text) {
  statement.bind_text(index, text);
}
inline void bind_value(sqlite::statement& statement, int index, const wchar_t* text) {
  statement.bind_text(index, text);
}
inline void bind_value(sqlite::statement& statement, int index, const blob& value) {
  statement.bind_blob(index, value.bytes.data(), value.bytes.size());
}
template <typename Integer, typename = std::enable_if_t<std::is_integral_v<Integer>>>
void bind_value(sqlite::statement& statement, int index, Integer value) {
  statement.bind_int64(index, static_cast<std::int64_t>(value));
}

// One prepared INSERT (or other statement) run once per row.
class row_writer {
 public:
  row_writer(const sqlite::database& db, const std::string& sql) : statement_(db, sql) {}

  // Binds the values to parameters 1, 2, ... in order, steps once and
  // rewinds the statement for the next row.
  template <typename... Values>
  void operator()(const Values&... values) {
    int index = 0;
    (bind_value(statement_, ++index, values), ...);
    statement_.step();
    statement_.reset();
  }

 private:
  sqlite::statement statement_;
};

// Runs one statement with parameters once.
template <typename... Values>
void execute(const sqlite::database& db, const std::string& sql, const Values&... values) {
  row_writer(db, sql)(values...);
}

// The first column of the first row of a query with parameters, as a 64-bit
// integer; 0 when there is no row.
template <typename... Values>
std::int64_t query_int64(const sqlite::database& db, const std::string& sql, const Values&... values) {
  sqlite::statement statement(db, sql);
  int index = 0;
  (bind_value(statement, ++index, values), ...);
  return statement.step() ? statement.column_int64(0) : 0;
}

}  // namespace mkinstall
