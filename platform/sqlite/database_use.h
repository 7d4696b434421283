#pragma once
// Whether another connection is using a database file, asked before a
// command replaces or deletes the file as a whole. (A copy holds the file
// still instead: see held_database.h.)

#include <string>

namespace sqlite {

enum class intended_use {
  // The file is replaced by another one: nobody else may use it. A journal
  // beside the file stays exactly as it is.
  replace,
  // The file and its journal are deleted: nobody else may use it.
  remove,
};

// Takes and releases SQLite's exclusive lock on the existing database file
// `file`. Throws sqlite::error("database is locked") when another
// connection holds a conflicting lock. Every other failure (the file is no
// database, or cannot be opened or locked) is ignored: the file is replaced
// or deleted as it is, and the operation that follows reports its own
// failures.
void check_not_in_use(const std::wstring& file, intended_use use);

}  // namespace sqlite
