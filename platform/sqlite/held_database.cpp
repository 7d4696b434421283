#include "platform/sqlite/held_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "platform/sqlite/sqlite.h"
#include "platform/text/unicode.h"

namespace sqlite {
namespace {

// The bytes that one read through the file handle takes.
constexpr std::int64_t chunk_bytes = 0x40000;

bool is_lock_conflict(int result) {
  const int primary = result & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// The length of the file named `file` followed by `suffix`, a journal or
// a write-ahead log beside the database; 0 when there is none.
std::uintmax_t length_beside(const std::wstring& file, const wchar_t* suffix) {
  std::error_code failed;
  const std::uintmax_t length = std::filesystem::file_size(netkeep::text::to_path(file + suffix), failed);
  return failed ? 0 : length;
}

}  // namespace

std::unique_ptr<held_database> held_database::hold(const std::wstring& file) {
  sqlite3* handle = nullptr;
  const int opened = sqlite3_open_v2(netkeep::text::to_utf8(file).c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<held_database> held(new held_database(file, handle));
  const int result = opened == SQLITE_OK ? held->begin_reading() : opened;
  if (result == SQLITE_OK) {
    sqlite3_file_control(handle, "main", SQLITE_FCNTL_FILE_POINTER, &held->file_handle_);
    held->fold_in_log();
    return held;
  }
  if (is_lock_conflict(result)) throw error(sqlite3_errstr(SQLITE_BUSY));
  // A file that is no database, or a damaged one, is copied as it is, for
  // analysis; but not without the transactions of a journal beside it.
  if (result == SQLITE_READONLY_ROLLBACK || length_beside(file, L"-journal") > 0 ||
      length_beside(file, L"-wal") > 0) {
    held->fail("a transaction that a killed program left in its journal cannot be rolled back (" +
               (opened == SQLITE_OK ? held->failure_ : std::string(sqlite3_errmsg(handle))) + ")");
  }
  return nullptr;
}

held_database::held_database(std::wstring file, sqlite3* handle) : file_(std::move(file)), handle_(handle) {
  if (handle_ != nullptr) sqlite3_extended_result_codes(handle_, 1);
}

held_database::~held_database() { sqlite3_close(handle_); }

int held_database::begin_reading() {
  // Reading the schema takes the shared lock, after SQLite has rolled a hot
  // journal back.
  const int result = sqlite3_exec(handle_, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr);
  if (result != SQLITE_OK) {
    failure_ = sqlite3_errmsg(handle_);
    sqlite3_exec(handle_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  return result;
}

void held_database::fold_in_log() {
  bool log_mode = false;
  sqlite3_exec(
      handle_, "PRAGMA journal_mode",
      [](void* log_mode, int, char** row, char**) {
        *static_cast<bool*>(log_mode) = row[0] != nullptr && std::string_view(row[0]) == "wal";
        return 0;
      },
      &log_mode, nullptr);
  if (!log_mode) return;
  // A checkpoint needs the read transaction ended; it then copies every
  // committed frame into the file and empties the log, unless a reader of
  // another connection still uses the frames. A writer that commits before
  // the transaction begins again leaves a log that is not empty.
  sqlite3_exec(handle_, "ROLLBACK", nullptr, nullptr, nullptr);
  const int checkpoint = sqlite3_wal_checkpoint_v2(handle_, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  const std::string checkpoint_message = sqlite3_errmsg(handle_);
  const int result = begin_reading();
  if (is_lock_conflict(result)) throw error(sqlite3_errstr(SQLITE_BUSY));
  if (result != SQLITE_OK) fail(failure_);
  if (length_beside(file_, L"-wal") != 0) {
    fail("its write-ahead log cannot be folded into it (" +
         (checkpoint == SQLITE_OK ? std::string("another connection is using it") : checkpoint_message) + ")");
  }
}

void held_database::fail(const std::string& reason) const {
  throw error("cannot copy " + netkeep::text::to_utf8(file_) + " whole: " + reason);
}

std::int64_t held_database::size() {
  sqlite3_int64 length = 0;
  if (file_handle_ == nullptr || file_handle_->pMethods == nullptr ||
      file_handle_->pMethods->xFileSize(file_handle_, &length) != SQLITE_OK) {
    fail("its length cannot be taken");
  }
  return length;
}

std::int64_t held_database::file_buffer::read_next(char* into, std::int64_t most) {
  sqlite3_file* file = owner_.file_handle_;
  sqlite3_int64 length = 0;
  if (file == nullptr || file->pMethods == nullptr || file->pMethods->xFileSize(file, &length) != SQLITE_OK ||
      next_offset_ >= length) {
    return 0;
  }
  const std::int64_t count = std::min<std::int64_t>({most, chunk_bytes, length - next_offset_});
  if (file->pMethods->xRead(file, into, static_cast<int>(count), next_offset_) != SQLITE_OK) return 0;
  next_offset_ += count;
  return count;
}

held_database::file_buffer::int_type held_database::file_buffer::underflow() {
  chunk_.resize(static_cast<std::size_t>(chunk_bytes));
  const std::int64_t count = read_next(chunk_.data(), chunk_bytes);
  if (count == 0) return traits_type::eof();
  setg(chunk_.data(), chunk_.data(), chunk_.data() + count);
  return traits_type::to_int_type(chunk_.front());
}

std::streamsize held_database::file_buffer::xsgetn(char* into, std::streamsize count) {
  // Straight into the reader's buffer, past the chunk, after what the chunk
  // still holds.
  const std::streamsize buffered = std::min<std::streamsize>(count, egptr() - gptr());
  std::copy_n(gptr(), buffered, into);
  gbump(static_cast<int>(buffered));
  std::streamsize done = buffered;
  while (done < count) {
    const std::int64_t read = read_next(into + done, count - done);
    if (read == 0) break;
    done += read;
  }
  return done;
}

}  // namespace sqlite
