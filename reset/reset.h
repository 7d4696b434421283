#pragma once
// Reset: the installation returned to a newly installed state by deleting
// its registry configuration and its data files, except what the fixed
// tables protect.

#include <string>

#include "platform/win32/registry.h"

namespace netkeep {

// First makes sure that the whole reset can be done, changing nothing: lists
// the files that step 3 deletes (the ".db", ".db-journal", ".db-wal" and
// ".db-shm" files of `data_directory` and every file of its
// exported_directories, in the order of list_data_files), checks that no other connection uses one of the
// databases (sqlite::check_not_in_use for writing, which throws
// sqlite::error("database is locked")) and that a file can be created and
// removed in each folder that holds one of them (else
// std::filesystem::filesystem_error "cannot remove" with the first such file
// and the reason). Then, in this order, each step ending the reset at its
// first failure:
//  1. deletes the values of `installation_key` that preserved_values does
//     not keep in reset mode;
//  2. walks the keys below it: leaves the keys of excluded_keys untouched
//     with their subtrees, strips a key that preserved_values names down to
//     its preserved values and keeps it, and deletes every other key, each
//     after its subkeys; then makes the registry durable (flush_key), so
//     that no file is deleted while the registry could still fail to be
//     written;
//  3. deletes the listed files, then the temporary files that a killed
//     netkeep left in the data folders (list_leftover_files; one that cannot
//     be removed stays). Folders are never deleted.
//
// Throws win32::error for a failing registry call, including a value or key
// enumeration that ends otherwise than at its last item, and the write-back's
// std::runtime_error (the files are then untouched), and
// std::filesystem::filesystem_error for a folder that cannot be listed or a
// file that cannot be removed (the files before it are gone).
void reset_installation(win32::registry::raw_key installation_key, const std::wstring& data_directory);

}  // namespace netkeep
