#pragma once
// A database file held still while its bytes are copied, so that the copy
// is a whole database: never a file that another connection is writing, nor
// one whose last transactions still lie in a journal or a write-ahead log
// beside it.

#include <cstdint>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_file;

namespace sqlite {

class held_database {
 public:
  // Opens the existing file `file` (for writing where the file allows it)
  // and begins a read transaction, whose shared lock is held until the
  // object ends. Beginning it rolls back a transaction that a killed
  // process left in a hot journal. A database in write-ahead log mode has
  // its log checkpointed into the file first, and must then have an empty
  // log, so that the file alone holds every committed transaction.
  //
  // Returns nullptr when SQLite cannot open or read the file (no database,
  // a damaged one) and no journal or log with contents lies beside it: such
  // a file is copied as it is. Throws sqlite::error with "database is
  // locked" when another connection holds a lock that excludes readers;
  // with "cannot copy <file> whole: a transaction that a killed program
  // left in its journal cannot be rolled back (<SQLite's message>)" when
  // the file cannot be read with a journal or log beside it (a read-only
  // file or folder); and with "cannot copy <file> whole: its write-ahead
  // log cannot be folded into it (<reason>)" when a read-only file, or a
  // connection that is still reading the log, keeps it from being emptied.
  static std::unique_ptr<held_database> hold(const std::wstring& file);

  ~held_database();
  held_database(const held_database&) = delete;
  held_database& operator=(const held_database&) = delete;

  // The file's length in bytes. Throws sqlite::error when it cannot be
  // taken.
  std::int64_t size();

  // The file's bytes from the start, read through the connection's own file
  // handle: opening and closing another handle of the file would drop the
  // process's POSIX locks on it, the connection's included. A failing read
  // ends the stream early.
  std::istream& contents() { return stream_; }

 private:
  class file_buffer : public std::streambuf {
   public:
    explicit file_buffer(const held_database& owner) : owner_(owner) {}

   protected:
    int_type underflow() override;
    std::streamsize xsgetn(char* into, std::streamsize count) override;

   private:
    // Reads up to `most` bytes at next_offset_ into `into` and moves past
    // them; 0 at the end of the file or on a failing read.
    std::int64_t read_next(char* into, std::int64_t most);

    const held_database& owner_;
    std::vector<char> chunk_;
    std::int64_t next_offset_ = 0;
  };

  held_database(std::wstring file, sqlite3* handle);
  // Begins the read transaction; returns SQLite's extended result code, and
  // keeps SQLite's message of a failure in failure_.
  int begin_reading();
  void fold_in_log();
  [[noreturn]] void fail(const std::string& reason) const;

  std::wstring file_;
  sqlite3* handle_ = nullptr;
  std::string failure_;
  sqlite3_file* file_handle_ = nullptr;
  file_buffer buffer_{*this};
  std::istream stream_{&buffer_};
};

}  // namespace sqlite
