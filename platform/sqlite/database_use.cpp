#include "platform/sqlite/database_use.h"

#include <sqlite3.h>

#include "platform/sqlite/sqlite.h"
#include "platform/text/unicode.h"

namespace sqlite {
namespace {

// A connection that never creates its file, closed when the owner ends; no
// connection when the file cannot be opened.
class existing_file_connection {
 public:
  existing_file_connection(const std::wstring& file, int flags) {
    if (sqlite3_open_v2(netkeep::text::to_utf8(file).c_str(), &handle_, flags, nullptr) != SQLITE_OK) {
      sqlite3_close(handle_);
      handle_ = nullptr;
    }
  }
  ~existing_file_connection() { sqlite3_close(handle_); }
  existing_file_connection(const existing_file_connection&) = delete;
  existing_file_connection& operator=(const existing_file_connection&) = delete;

  // Runs `claim`, then rolls back whatever it began; returns its result.
  int claim(const char* sql) {
    if (handle_ == nullptr) return SQLITE_CANTOPEN;
    const int result = sqlite3_exec(handle_, sql, nullptr, nullptr, nullptr);
    sqlite3_exec(handle_, "ROLLBACK", nullptr, nullptr, nullptr);
    return result;
  }

 private:
  sqlite3* handle_ = nullptr;
};

bool is_lock_conflict(int result) {
  const int primary = result & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// Reading the schema takes the shared lock; BEGIN EXCLUSIVE takes the
// exclusive one at once. Neither writes anything of its own.
constexpr const char* shared_claim = "BEGIN; SELECT count(*) FROM sqlite_master;";
constexpr const char* exclusive_claim = "BEGIN EXCLUSIVE; SELECT count(*) FROM sqlite_master;";

}  // namespace

void check_not_in_use(const std::wstring& file, intended_use use) {
  int result = SQLITE_OK;
  switch (use) {
    case intended_use::remove:
      result = existing_file_connection(file, SQLITE_OPEN_READWRITE).claim(exclusive_claim);
      break;
    case intended_use::replace: {
      // A read-only connection does not roll a hot journal back but reports
      // it, and then the exclusive claim, which would, is left out.
      existing_file_connection reader(file, SQLITE_OPEN_READONLY);
      result = reader.claim(shared_claim);
      if (result == SQLITE_OK) result = existing_file_connection(file, SQLITE_OPEN_READWRITE).claim(exclusive_claim);
      break;
    }
  }
  if (is_lock_conflict(result)) throw error(sqlite3_errstr(SQLITE_BUSY));
}

}  // namespace sqlite
