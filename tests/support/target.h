#pragma once
// The build of netkeep that the end-to-end tests run. By default it is the
// Linux program beside the tests, on a file-backed hive. With
// NETKEEP_TEST_TARGET=windows it is the Windows program (NETKEEP_WINDOWS_EXE,
// by default build-windows/netkeep.exe) under Wine: each test process has a
// Wine prefix of its own (wine_prefix.h), installations live in its drive_c,
// and an installation's hive file is loaded into the prefix's registry before
// every run and saved back after it. Tests are written once, for both.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace netkeep::testing {

// True when the tests run the Windows program under Wine.
bool windows_target();

// The folder below which test installations are made: the system's
// temporary folder, or the Wine prefix's drive_c.
std::filesystem::path scratch_folder();

// A path of this machine as the program under test names it: unchanged for
// the Linux program; for the Windows one a drive path, "C:\..." below the
// prefix's drive_c and "Z:\..." elsewhere.
std::string program_path(const std::filesystem::path& path);

// The message of a win32::error with this result code in the program under
// test: the file-backed registry's table, or the text of Wine's system
// message table.
std::string system_message(std::uint32_t code);

// Runs the program under test with `words` after its name in `folder`, with
// its registry held in the hive file `hive` (written back when the run
// changed the registry, and left alone otherwise; a missing file is an empty
// registry). A `file_size_limit` other than 0 limits every file that the
// program writes to that many bytes (see run_process).
run_result run_target(const std::filesystem::path& hive, const std::vector<std::string>& words,
                      const std::filesystem::path& folder, std::uint64_t file_size_limit = 0);

}  // namespace netkeep::testing

// Skips a test that cannot run against the Windows program, saying why.
#define SKIP_ON_WINDOWS_TARGET(reason)                                     \
  do {                                                                     \
    if (::netkeep::testing::windows_target()) GTEST_SKIP() << (reason); \
  } while (false)
