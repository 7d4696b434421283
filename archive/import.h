#pragma once
// Import: an archive written by export restored into the installation.

#include <string>

#include "platform/win32/registry.h"

namespace netkeep::archive {

// Reads the archive `archive_name` (used as given) and restores it: the
// installation key's values (versions 1 and 2), the keys below it with their
// values (created where missing, values created or replaced), and its files
// below `data_directory` (missing folders created, existing files replaced).
// Nothing that the archive does not mention is removed.
//
// The whole archive is read and checked first, up to the end of its file
// list, so that a damaged archive changes nothing: it throws
// std::runtime_error with "failed to open file", "failed to read from file"
// (a record cut short), "The specified file is not an exported database.",
// "Unsupported netkeep archive format.", "string buffer overflow" (a
// registry name of 256 or more characters, a file name of 260 or more),
// "unexpectedly large registry value >16MB" (value data of 262144 bytes or
// more), "unexpected" (a file's contents cut short) or "unsafe file name in
// archive: <name>" (a file name that is absolute or does not stay below the
// data directory).
//
// Then it writes: a failing registry call throws win32::error, a folder that
// cannot be created std::filesystem::filesystem_error, a data file that
// cannot be created "failed to open file", one that cannot be written in
// full "unexpected". Each data file is written under a temporary name and
// renamed over its target when complete, so no file is left half-written;
// what was restored before a failure stays.
void import_installation(win32::registry::raw_key installation_key, const std::wstring& data_directory,
                         const std::wstring& archive_name);

}  // namespace netkeep::archive
