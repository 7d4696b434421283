#pragma once
// The Wine side of the end-to-end tests against the Windows program (see
// target.h): the Wine prefix of this test process, running programs in it,
// and moving registry contents in and out of it.
//
// The prefix is $WINEPREFIX, or wine-prefix beside netkeep.exe, set up by
// scripts/wine-run on first use. The installation key is the same for every
// installation, so tests that run at the same time need prefixes of their
// own: when CTest allots the test a "wine_prefix" resource (see
// tests/wine/prefixes.json), the prefix is "<that prefix>.e2e-<id>", made on
// first use as a copy of it that shares its files by hard links (the
// registry files are copied).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace netkeep::testing::wine {

// The Windows program under test: $NETKEEP_WINDOWS_EXE, or the Windows
// build's netkeep.exe in this source tree.
std::filesystem::path windows_exe();

// This process's prefix, ready for use.
const std::filesystem::path& prefix();

// The drive path of a path of this machine: "C:\..." below the prefix's
// drive_c, "Z:\..." (the root folder) elsewhere.
std::string windows_path(const std::filesystem::path& path);

// windows_path for the drive C: folder `drive_c`; both paths absolute.
std::string drive_path(const std::filesystem::path& path, const std::filesystem::path& drive_c);

// Runs a Windows program (a path on this machine, or the name of one of
// Wine's own) with `arguments` in `folder` through scripts/wine-run, in the
// prefix, with standard output and error captured and files limited as
// run_process does.
run_result run(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& folder, std::uint64_t file_size_limit = 0);

// Replaces HKEY_LOCAL_MACHINE\Software\Corvanta in the prefix's registry,
// with everything below it, by the keys of the hive text (which holds none
// elsewhere; an empty hive deletes it). Exact: types and bytes as given.
void load_registry(const std::string& hive_text);

// HKEY_LOCAL_MACHINE\Software\Corvanta and everything below it as hive text
// (a hive without keys when it does not exist).
std::string save_registry();

// The text of Wine's system message table for a Win32 result code, as
// win32::system_message gives it in the Windows program.
std::string system_message(std::uint32_t code);

}  // namespace netkeep::testing::wine
