#pragma once
// POSIX only: running netkeep against a test installation under conditions
// that the plain test_installation::run cannot set up: a file size limit, an
// unprivileged user, a kill at a chosen moment, or several processes at
// once.
#ifndef _WIN32

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_installation.h"

namespace netkeep::testing {

struct run_options {
  // RLIMIT_FSIZE in bytes, 0 for none. SIGXFSZ keeps its default action:
  // netkeep ignores it itself, so that a write past the limit fails with
  // EFBIG, as a write to a full file system fails.
  std::uint64_t file_size_limit = 0;
  // When the tests run as root, runs netkeep as the user "nobody" (from a
  // copy of the binary that nobody may run), so that file permissions apply;
  // see give_to_unprivileged_user. Otherwise netkeep runs as the tests do.
  bool unprivileged = false;
  // Kills the process with SIGKILL this long after its start; negative for
  // never.
  std::chrono::microseconds kill_after{-1};
};

// One netkeep process started by start_netkeep.
class running_netkeep {
 public:
  running_netkeep(pid_t pid, std::filesystem::path out_file, std::filesystem::path err_file)
      : pid_(pid), out_file_(std::move(out_file)), err_file_(std::move(err_file)) {}
  running_netkeep(running_netkeep&& other) noexcept;
  running_netkeep(const running_netkeep&) = delete;
  running_netkeep& operator=(const running_netkeep&) = delete;
  // Waits for the process if wait() was not called.
  ~running_netkeep();

  // Sends SIGKILL (the process may already have ended: it stays a zombie
  // until wait(), so its id cannot have been reused).
  void kill();

  // Waits for the process to end and returns what it wrote and its status
  // (128 + the signal's number when a signal ended it).
  run_result wait();

 private:
  pid_t pid_;
  std::filesystem::path out_file_;
  std::filesystem::path err_file_;
};

// Starts the built netkeep as test_installation::run does (current folder
// the installation's root, ORBENTA_REGISTRY its hive), with `options`;
// kill_after is not applied here.
running_netkeep start_netkeep(const test_installation& installation, const std::vector<std::string>& words,
                              const run_options& options = {});

// Runs netkeep with `options` until it ends or is killed. Against the
// Windows program (target.h) only the file size limit applies.
run_result run_netkeep(const test_installation& installation, const std::vector<std::string>& words,
                       const run_options& options);

// Whether run_options::unprivileged makes permissions apply: true when the
// tests do not run as root, or as root can switch to "nobody".
bool permissions_apply();

// When the tests run as root: makes "nobody" the owner of every file and
// folder of the installation, so that an unprivileged netkeep can use it.
void give_to_unprivileged_user(const test_installation& installation);

// Removes the write permission of a file or folder (for the unprivileged
// run), and gives it back.
void make_read_only(const std::filesystem::path& path);
void make_writable(const std::filesystem::path& path);

}  // namespace netkeep::testing

#endif
