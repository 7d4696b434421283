#include "tests/support/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <regex>
#include <stdexcept>

#include "tests/support/test_installation.h"

extern char** environ;

namespace netkeep::testing {
namespace {

std::string variable_name(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

std::string strip_spinner(const std::string& err) {
  static const std::regex frame("\r(analyzing|repairing|reseting|exporting|importing): [.oO]");
  return std::regex_replace(err, frame, "");
}

run_result run_process(const std::vector<std::string>& argv_words, const std::filesystem::path& folder,
                       const std::vector<std::string>& environment, std::uint64_t file_size_limit) {
  static std::atomic<int> counter{0};
  const std::string capture = "netkeep-capture-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  const std::filesystem::path out_file = std::filesystem::temp_directory_path() / (capture + ".out");
  const std::filesystem::path err_file = std::filesystem::temp_directory_path() / (capture + ".err");

  std::vector<std::string> words = argv_words;
  if (file_size_limit != 0) {
    // An ignored signal stays ignored across exec; prlimit sets the limit
    // in bytes.
    words.insert(words.begin(), {"/bin/sh", "-c", "trap '' XFSZ; exec prlimit --fsize=\"$0\" -- \"$@\"",
                                 std::to_string(file_size_limit)});
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    bool replaced = false;
    for (const std::string& entry : environment) replaced = replaced || variable_name(entry) == variable_name(*e);
    if (!replaced) env_text.emplace_back(*e);
  }
  env_text.insert(env_text.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& entry : env_text) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const std::string cwd = folder.string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + words.at(0));
  int wait_status = 0;
  while (::waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
  }

  run_result result;
  result.out = read_file(out_file);
  result.raw_err = read_file(err_file);
  result.err = strip_spinner(result.raw_err);
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  std::filesystem::remove(out_file);
  std::filesystem::remove(err_file);
  return result;
}

}  // namespace netkeep::testing
