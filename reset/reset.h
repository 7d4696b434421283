#pragma once
// Reset: the installation returned to a newly installed state by deleting
// its registry configuration and its data files, except what the fixed
// tables protect.

#include <string>

#include "platform/win32/registry.h"

namespace netkeep {

// In this order, each step ending the reset at its first failure:
//  1. deletes the values of `installation_key` that preserved_values does
//     not keep in reset mode;
//  2. walks the keys below it: leaves the keys of excluded_keys untouched
//     with their subtrees, strips a key that preserved_values names down to
//     its preserved values and keeps it, and deletes every other key, each
//     after its subkeys;
//  3. deletes, in the order of list_data_files, the ".db" and ".db-journal"
//     files of `data_directory` and every file of its exported_directories.
// Folders are never deleted.
//
// Throws win32::error for a failing registry call, including a value or key
// enumeration that ends otherwise than at its last item (the files are then
// untouched), and std::filesystem::filesystem_error for a folder that cannot
// be listed or a file that cannot be removed (the files before it are gone).
void reset_installation(win32::registry::raw_key installation_key, const std::wstring& data_directory);

}  // namespace netkeep
