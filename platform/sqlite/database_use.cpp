#include "platform/sqlite/database_use.h"

#include <sqlite3.h>

#include <filesystem>

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

bool has_contents(const std::wstring& file) {
  std::error_code ignored;
  const std::uintmax_t size = std::filesystem::file_size(netkeep::text::to_path(file), ignored);
  return !ignored && size > 0;
}

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
    case intended_use::replace:
      // The claim's shared lock rolls a hot journal back; the close of the
      // last connection folds a write-ahead log into the file and removes it
      // with its index.
      result = existing_file_connection(file, SQLITE_OPEN_READWRITE).claim(exclusive_claim);
      if (result == SQLITE_OK && has_contents(file + L"-wal")) {
        result = SQLITE_BUSY;  // another connection keeps the log open
      }
      if (is_lock_conflict(result)) break;
      // After a failed claim a journal or log may still hold a transaction
      // that must not reach the new file; one beside a file that is no
      // database has nothing to roll back.
      if (result != SQLITE_OK && (result & 0xFF) != SQLITE_NOTADB &&
          (has_contents(file + L"-journal") || has_contents(file + L"-wal"))) {
        throw error("cannot roll back the journal of " + netkeep::text::to_utf8(file) + ": " + sqlite3_errstr(result));
      }
      break;
  }
  if (is_lock_conflict(result)) throw error(sqlite3_errstr(SQLITE_BUSY));
}

std::vector<std::wstring> side_files(const std::wstring& file) {
  return {file + L"-journal", file + L"-wal", file + L"-shm"};
}

}  // namespace sqlite
