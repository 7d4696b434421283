#pragma once
// Whether another connection is using a database file, asked before a
// command replaces or deletes the file as a whole. (A copy holds the file
// still instead: see held_database.h.)

#include <string>
#include <vector>

namespace sqlite {

enum class intended_use {
  // The file is replaced by another one: nobody else may use it. A
  // transaction that a killed process left in a hot journal is rolled back
  // and a write-ahead log is folded into the file, so that the file is whole
  // without them; whatever of side_files is left afterwards holds nothing to
  // undo or add, and the caller removes it before the file is replaced (it
  // would be played back onto the new file). A journal or log with contents
  // that cannot be rolled back or folded (a read-only folder) throws
  // sqlite::error("cannot roll back the journal of <file>: <reason>").
  replace,
  // The file and its journal are deleted: nobody else may use it.
  remove,
};

// The files that SQLite keeps beside the database `file` (its rollback
// journal, write-ahead log and shared-memory index), which must not survive
// beside a file that replaces it.
std::vector<std::wstring> side_files(const std::wstring& file);

// Takes and releases SQLite's exclusive lock on the existing database file
// `file` for the intended use. Throws sqlite::error("database is locked")
// when another connection holds a conflicting lock. Every other failure (the
// file is no database, or cannot be opened or locked) is ignored, except as
// `replace` says: the file is replaced or deleted as it is, and the
// operation that follows reports its own failures.
void check_not_in_use(const std::wstring& file, intended_use use);

}  // namespace sqlite
