#pragma once
// Export: the installation's registry configuration and data files written
// into one archive.

#include <string>

#include "platform/win32/registry.h"

namespace netkeep::archive {

// Writes to `archive_name` (used as given; a relative name is relative to
// the current folder) an archive of the current version holding:
//  - the values of `installation_key`, then the key tree below it, walked
//    depth first in the registry's order, except the keys of excluded_keys
//    with their subtrees, the values of preserved_values and default
//    (unnamed) values, all in export mode;
//  - the ".db" files of `data_directory` and the files of its
//    exported_directories (see list_data_files).
// The archive is written under a temporary name and replaces an existing
// file of that name only once it is complete (files::replacement_file: the
// owner, group and mode of the replaced file stay, a symbolic link is
// followed); on failure nothing but the temporary file (which is removed)
// has been written. A pipe or a device (/dev/stdout) is written directly.
// An archive name that is one of the files exported, or a journal of one of
// the databases, is refused before anything is written: std::runtime_error
// "cannot export onto a data file: <archive name>"; one that is a file of
// the registry (registry::backing_files) with "cannot export onto the
// registry file: <archive name>".
//
// Before anything is written, every listed file's name is checked (one that
// is not safe for import, or that holds a backslash on POSIX, throws
// std::runtime_error("file name that import would refuse, not exported:
// <name>")), and every ".db" file is held with sqlite::held_database to the
// end, so that each database is copied whole: one that another connection is
// writing throws sqlite::error("database is locked"), one with a journal or
// write-ahead log that cannot be rolled back or folded in sqlite::error
// ("cannot copy <file> whole: <reason>"). A file that SQLite does not take
// for a database is copied as it is.
//
// Throws std::runtime_error with "failed to open file" (archive or data file
// cannot be opened), "failed to write to file", "unexpected" (file contents
// not copied in full), "file too large to export: <archive name>" (a data
// file of 2 GiB or more) or "string buffer overflow" (a name that import
// would refuse); win32::error for a failing registry call, including value
// data of more than 1024 bytes, a value name of 256 or more characters and
// any enumeration that ends otherwise than at its last item; and
// std::filesystem::filesystem_error for a folder that cannot be listed or an
// archive that cannot be renamed into place.
void export_installation(win32::registry::raw_key installation_key, const std::wstring& data_directory,
                         const std::wstring& archive_name);

}  // namespace netkeep::archive
