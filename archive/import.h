#pragma once
// Import: an archive written by export restored into the installation.

#include <filesystem>
#include <istream>
#include <memory>
#include <string>

#include "archive/archive_index.h"
#include "platform/win32/registry.h"

namespace netkeep::archive {

// Reads the archive `archive_name` (used as given) and restores it: the
// installation key's values (versions 1 and 2), the keys below it with their
// values (created where missing, values created or replaced), and its files
// below `data_directory` (missing folders created, existing files replaced).
// Nothing that the archive does not mention is removed.
//
// The whole archive is read and checked first, up to the end of its file
// list, so that a damaged archive changes nothing (an archive that is no
// regular file, such as a pipe, is read into memory whole for this): it
// throws
// std::runtime_error with "failed to open file", "failed to read from file"
// (a record cut short), "The specified file is not an exported database.",
// "Unsupported netkeep archive format.", "string buffer overflow" (a
// registry name of 256 or more characters, a file name of 260 or more),
// "unexpectedly large registry value >16MB" (value data of 262144 bytes or
// more), "unexpected" (a file's contents cut short) or "unsafe file name in
// archive: <name>" (a file name that is absolute or does not stay below the
// data directory).
//
// Nothing is written while a database file that the archive replaces is in
// use by another connection: sqlite::error("database is locked"). A hot
// journal that a killed process left beside such a file is rolled back and a
// write-ahead log folded into it first (sqlite::check_not_in_use for
// replacing), so that the old database is whole on its own; when that cannot
// be done, sqlite::error("cannot roll back the journal of <file>: <reason>").
//
// Then it writes, in this order: each data file under a temporary name
// beside its target (missing folders created), durable on disk; the
// registry, made durable with flush_key; then it removes the journal,
// write-ahead log and shared-memory index left beside each database that it
// replaces (none of them holds anything to undo by then); then it renames
// the data files over their targets (files::replacement_file: each keeps the
// owner, group and mode of the file it replaces, and a symbolic link is
// followed, not replaced); last it removes the temporary files that a killed
// netkeep left in the data folders (list_leftover_files).
//
// A failure before the renames leaves the data files as they were (the
// temporary files are removed), and the hive file too unless a registry call
// itself failed part-way, whose earlier changes the command writes back when
// it closes the installation key. Failures: a data file that cannot be
// created throws "failed to open file", one that cannot be written in full
// "unexpected", a folder that cannot be created or a side file that cannot
// be removed std::filesystem::filesystem_error, a failing registry call
// win32::error, a failing write-back std::runtime_error. Only a failing
// rename, or the process ending during the renames, leaves some files new
// and others old; no file is ever left half-written, and no database ever
// meets a journal that is not its own.
void import_installation(win32::registry::raw_key installation_key, const std::wstring& data_directory,
                         const std::wstring& archive_name);

// The parts of import that `verify FILE` shares, so that it reads and
// refuses an archive exactly as import does:

// The archive at `path`, open for reading from its start, again and again.
// An archive that is no regular file (a pipe, a terminal, /dev/stdin) can be
// read only once, and is read into memory whole first, so that it is checked
// in full before anything changes, as a file is. Throws "failed to open
// file" and, for such an archive, "failed to read from file".
std::unique_ptr<std::istream> open_archive(const std::filesystem::path& path);

// Reads the whole archive and makes import's checks of it before its first
// change, its files bound for `data_directory` (archive_index.h,
// import_checks.h): the errors of reading first, then those of the registry
// part, then those of the file names.
archive_index read_checked_archive(std::istream& archive, const std::filesystem::path& data_directory);

// Restores the registry part of the archive below `installation_key`,
// reading it again from `archive`: values set, keys created where missing.
// Throws win32::error.
void restore_registry(win32::registry::raw_key installation_key, std::istream& archive, const archive_index& index);

}  // namespace netkeep::archive
