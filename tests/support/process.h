#pragma once
// Running a program from a test and capturing what it writes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace netkeep::testing {

struct run_result {
  std::string out;      // standard output
  std::string err;      // standard error, spinner frames removed
  std::string raw_err;  // standard error as written
  int status = -1;      // exit status (128 + the signal's number when killed)
};

// Removes the frames that the spinner draws ("\r" + verb + one of ".oOo"),
// which depend on timing; the clearing of the line stays.
std::string strip_spinner(const std::string& err);

// Runs the program argv[0] (a path) with the arguments argv[1...] in
// `folder`, with this process's environment, in which each of `environment`
// ("NAME=value") replaces the variable of that name or is added, and waits
// for it. Standard input is empty. A `file_size_limit` other than 0 limits
// every file that the program (and what it starts) writes to that many
// bytes: RLIMIT_FSIZE, with SIGXFSZ ignored, so that a longer write fails
// with EFBIG as on a full file system. Throws std::runtime_error when the
// program cannot be started.
run_result run_process(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                       const std::vector<std::string>& environment = {}, std::uint64_t file_size_limit = 0);

}  // namespace netkeep::testing
