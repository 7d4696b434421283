#pragma once
// A thin layer over SQLite's C interface: a connection, a prepared statement
// and a scoped transaction. It adds no caching, pooling or retrying; every
// failure becomes an sqlite::error carrying SQLite's own message.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace sqlite {

class error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Lets the connections go without SQLite's own lock on every call (a row
// step, a column read): the program uses each connection, and the
// statements made on it, from one thread at a time, the worker thread of a
// command or the main thread before and after it. To be called before the
// first connection is opened; afterwards it changes nothing.
void use_each_connection_from_one_thread_at_a_time();

class database {
 public:
  database() = default;
  database(const database&) = delete;
  database& operator=(const database&) = delete;
  // Closes the connection if one is held; a failing close is ignored here.
  ~database();

  // Opens (creating when missing) the file for reading and writing. Throws
  // std::logic_error("database already open") when a connection is held, and
  // sqlite::error with SQLite's message when the open fails.
  void open(const std::wstring& file_name);

  // Throws std::logic_error("database not open") when no connection is held;
  // on failure keeps the connection and throws sqlite::error.
  void close();

  // Runs SQL text without a row callback.
  void exec(const std::string& sql);

  // The declared type (empty when none) and the collation of a column of a
  // table, as the schema declares them; nothing when `table` is not a table
  // of the connection (a view, or missing) or has no such column. Names are
  // given without quotes.
  struct column_declaration {
    std::string type;
    std::string collation;
  };
  std::optional<column_declaration> declared_column(const std::string& table, const std::string& column) const;

  bool is_open() const { return handle_ != nullptr; }
  sqlite3* handle() const { return handle_; }

 private:
  sqlite3* handle_ = nullptr;
};

class statement {
 public:
  // Prepares the first statement of `sql`; the text after it is ignored.
  statement(const database& db, const std::string& sql);
  statement(const statement&) = delete;
  statement& operator=(const statement&) = delete;
  ~statement();

  // True on a row, false when done; any other result throws sqlite::error.
  bool step();

  // Rewinds the statement so that it can be stepped again and clears its
  // bindings (an unbound parameter is NULL), so that one prepared statement
  // can be reused for many rows. The result of the rewind is not checked: a
  // failed step has already thrown.
  void reset();

  // Parameter indexes are 1-based. Results of the bindings are not checked:
  // a failed binding shows at the next step. A text is bound up to its
  // first zero character, as a terminated wide string is.
  void bind_int(int index, std::int32_t value);
  void bind_int64(int index, std::int64_t value);
  void bind_text(int index, const std::wstring& value);
  void bind_blob(int index, const void* data, std::size_t size);

  // The number of result columns.
  int column_count() const;

  // Column indexes are 0-based. NULL reads as 0 or as the empty text; a text
  // ends at its first zero character, as a terminated wide string does.
  bool column_is_null(int index) const;
  std::int64_t column_int64(int index) const;
  // The first result column named exactly `name`; throws
  // sqlite::error("column name not found!") when there is none.
  std::int64_t column_int64(std::string_view name) const;
  std::wstring column_text(int index) const;
  // Appends what column_text gives to `out`, without a string of its own.
  void append_column_text(int index, std::wstring& out) const;
  // The UTF-16 code units that column_text converts (it is their wide
  // form), up to the first zero character; empty for NULL. Valid until the
  // next step, reset or column call of this statement.
  std::u16string_view column_text16(int index) const;
  // The column's bytes as the database holds them, a text in its encoding
  // and unconverted; valid until the next step or reset.
  std::string_view column_bytes(int index) const;

 private:
  sqlite3_stmt* handle_ = nullptr;
};

// "BEGIN TRANSACTION" (with `exclusive`, "BEGIN EXCLUSIVE TRANSACTION",
// which waits for no reader or writer of another connection but fails with
// "database is locked") on construction; "ROLLBACK TRANSACTION" on
// destruction unless commit was called (a failing rollback is not passed on).
class transaction {
 public:
  explicit transaction(database& db, bool exclusive = false);
  transaction(const transaction&) = delete;
  transaction& operator=(const transaction&) = delete;
  ~transaction();

  // Marks the transaction committed, then runs "COMMIT TRANSACTION".
  void commit();

 private:
  database& db_;
  bool committed_ = false;
};

}  // namespace sqlite
