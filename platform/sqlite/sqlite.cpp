#include "platform/sqlite/sqlite.h"

#include <sqlite3.h>

#include "platform/text/unicode.h"

namespace sqlite {

void use_each_connection_from_one_thread_at_a_time() { sqlite3_config(SQLITE_CONFIG_MULTITHREAD); }

database::~database() {
  if (handle_ != nullptr) sqlite3_close(handle_);
}

void database::open(const std::wstring& file_name) {
  if (handle_ != nullptr) throw std::logic_error("database already open");
  std::u16string name = netkeep::text::to_utf16(file_name);
  sqlite3* handle = nullptr;
  if (sqlite3_open16(name.c_str(), &handle) != SQLITE_OK) {
    std::string message = handle != nullptr ? sqlite3_errmsg(handle) : "out of memory";
    sqlite3_close(handle);
    throw error(message);
  }
  handle_ = handle;
}

void database::close() {
  if (handle_ == nullptr) throw std::logic_error("database not open");
  if (sqlite3_close(handle_) != SQLITE_OK) throw error(sqlite3_errmsg(handle_));
  handle_ = nullptr;
}

std::optional<database::column_declaration> database::declared_column(const std::string& table,
                                                                      const std::string& column) const {
  const char* type = nullptr;
  const char* collation = nullptr;
  if (sqlite3_table_column_metadata(handle_, nullptr, table.c_str(), column.c_str(), &type, &collation, nullptr,
                                    nullptr, nullptr) != SQLITE_OK) {
    return std::nullopt;
  }
  return column_declaration{type != nullptr ? type : "", collation != nullptr ? collation : "BINARY"};
}

void database::exec(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(handle_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : sqlite3_errmsg(handle_);
    sqlite3_free(message);
    throw error(text);
  }
}

statement::statement(const database& db, const std::string& sql) {
  if (sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &handle_, nullptr) != SQLITE_OK) {
    sqlite3_finalize(handle_);
    handle_ = nullptr;
    throw error(sqlite3_errmsg(db.handle()));
  }
}

statement::~statement() {
  if (handle_ != nullptr) sqlite3_finalize(handle_);
}

bool statement::step() {
  switch (sqlite3_step(handle_)) {
    case SQLITE_ROW:
      return true;
    case SQLITE_DONE:
      return false;
    default:
      throw error(sqlite3_errmsg(sqlite3_db_handle(handle_)));
  }
}

void statement::reset() {
  sqlite3_reset(handle_);
  sqlite3_clear_bindings(handle_);
}

void statement::bind_int(int index, std::int32_t value) { sqlite3_bind_int(handle_, index, value); }

void statement::bind_int64(int index, std::int64_t value) { sqlite3_bind_int64(handle_, index, value); }

void statement::bind_text(int index, const std::wstring& value) {
  const std::u16string text = netkeep::text::to_utf16(value);
  sqlite3_bind_text16(handle_, index, text.c_str(), -1, SQLITE_TRANSIENT);
}

void statement::bind_blob(int index, const void* data, std::size_t size) {
  sqlite3_bind_blob(handle_, index, data, static_cast<int>(size), SQLITE_TRANSIENT);
}

int statement::column_count() const { return sqlite3_column_count(handle_); }

bool statement::column_is_null(int index) const { return sqlite3_column_type(handle_, index) == SQLITE_NULL; }


std::int64_t statement::column_int64(int index) const { return sqlite3_column_int64(handle_, index); }

std::int64_t statement::column_int64(std::string_view name) const {
  const int count = sqlite3_column_count(handle_);
  for (int index = 0; index < count; ++index) {
    const char* column = sqlite3_column_name(handle_, index);
    if (column != nullptr && name == column) return sqlite3_column_int64(handle_, index);
  }
  throw error("column name not found!");
}

std::wstring statement::column_text(int index) const {
  std::wstring text;
  append_column_text(index, text);
  return text;
}

void statement::append_column_text(int index, std::wstring& out) const {
  const std::u16string_view whole = column_text16(index);
  if (out.empty()) out.reserve(whole.size());
  netkeep::text::append_from_utf16(out, whole);
}

std::u16string_view statement::column_text16(int index) const {
  const void* text = sqlite3_column_text16(handle_, index);
  if (text == nullptr) return {};
  // SQLite ends the text with a zero character; it is read up to the first
  // one, as a terminated wide string is.
  return std::u16string_view(static_cast<const char16_t*>(text));
}

std::string_view statement::column_bytes(int index) const {
  const void* bytes = sqlite3_column_blob(handle_, index);
  if (bytes == nullptr) return {};
  return {static_cast<const char*>(bytes), static_cast<std::size_t>(sqlite3_column_bytes(handle_, index))};
}

transaction::transaction(database& db, bool exclusive) : db_(db) {
  db_.exec(exclusive ? "BEGIN EXCLUSIVE TRANSACTION" : "BEGIN TRANSACTION");
}

transaction::~transaction() {
  if (committed_) return;
  try {
    db_.exec("ROLLBACK TRANSACTION");
  } catch (const error&) {
    // Nothing more can be done; SQLite rolls an unfinished transaction back
    // when the connection closes.
  }
}

void transaction::commit() {
  committed_ = true;
  db_.exec("COMMIT TRANSACTION");
}

}  // namespace sqlite
