#ifndef _WIN32
#include "tests/support/process_control.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;

struct unprivileged_user {
  uid_t uid;
  gid_t gid;
};

unprivileged_user nobody() {
  const passwd* entry = ::getpwnam("nobody");
  return entry != nullptr ? unprivileged_user{entry->pw_uid, entry->pw_gid} : unprivileged_user{65534, 65534};
}

bool running_as_root() { return ::geteuid() == 0; }

// A copy of the netkeep binary in the installation's folder, which nobody may
// run wherever the build folder lies.
fs::path unprivileged_binary(const test_installation& installation) {
  const fs::path copy = installation.root() / "netkeep-unprivileged";
  if (!fs::exists(copy)) {
    fs::copy_file(NETKEEP_BINARY, copy);
    fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  }
  return copy;
}

}  // namespace

running_netkeep::running_netkeep(running_netkeep&& other) noexcept
    : pid_(other.pid_), out_file_(std::move(other.out_file_)), err_file_(std::move(other.err_file_)) {
  other.pid_ = -1;
}

running_netkeep::~running_netkeep() {
  if (pid_ > 0) wait();
}

void running_netkeep::kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

run_result running_netkeep::wait() {
  int wait_status = 0;
  while (::waitpid(pid_, &wait_status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  run_result result;
  // A process killed before it opened its output files wrote nothing.
  if (fs::exists(out_file_)) result.out = read_file(out_file_);
  if (fs::exists(err_file_)) result.raw_err = read_file(err_file_);
  result.err = strip_spinner(result.raw_err);
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  std::error_code ignored;
  fs::remove(out_file_, ignored);
  fs::remove(err_file_, ignored);
  return result;
}

running_netkeep start_netkeep(const test_installation& installation, const std::vector<std::string>& words,
                              const run_options& options) {
  static std::atomic<int> count{0};
  const std::string suffix = std::to_string(count++);
  const fs::path out_file = installation.root() / (".stdout-" + suffix);
  const fs::path err_file = installation.root() / (".stderr-" + suffix);

  const bool drop_privileges = options.unprivileged && running_as_root();
  const std::string binary = drop_privileges ? unprivileged_binary(installation).string() : NETKEEP_BINARY;
  std::vector<std::string> argv_text = {binary};
  argv_text.insert(argv_text.end(), words.begin(), words.end());
  std::vector<char*> argv;
  for (std::string& word : argv_text) argv.push_back(word.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("ORBENTA_REGISTRY=", 0) != 0) env_text.emplace_back(*e);
  }
  env_text.push_back("ORBENTA_REGISTRY=" + installation.hive_file().string());
  std::vector<char*> envp;
  for (std::string& entry : env_text) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const std::string folder = installation.root().string();
  const unprivileged_user user = nobody();
  const rlimit limit{options.file_size_limit, options.file_size_limit};

  // Only async-signal-safe calls between fork and exec.
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("cannot fork");
  if (pid == 0) {
    const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(folder.c_str()) != 0) ::_exit(120);
    ::close(out);
    ::close(err);
    // SIGXFSZ keeps its default action, which ends a program that does not
    // ignore it at its first write past the limit.
    ::signal(SIGXFSZ, SIG_DFL);
    if (options.file_size_limit != 0 && ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(121);
    if (drop_privileges &&
        (::setgroups(0, nullptr) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0)) {
      ::_exit(122);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(123);
  }
  return running_netkeep(pid, out_file, err_file);
}

run_result run_netkeep(const test_installation& installation, const std::vector<std::string>& words,
                       const run_options& options) {
  if (windows_target()) {
    // netkeep.exe runs only as the tests do, and is not killed.
    if (options.unprivileged || options.kill_after.count() >= 0) {
      throw std::logic_error("run_netkeep: only a file size limit applies to the Windows program");
    }
    return run_target(installation.hive_file(), words, installation.root(), options.file_size_limit);
  }
  running_netkeep process = start_netkeep(installation, words, options);
  if (options.kill_after.count() >= 0) {
    std::this_thread::sleep_for(options.kill_after);
    process.kill();
  }
  return process.wait();
}

bool permissions_apply() {
  return !running_as_root() || ::getpwnam("nobody") != nullptr;
}

void give_to_unprivileged_user(const test_installation& installation) {
  if (!running_as_root()) return;
  const unprivileged_user user = nobody();
  if (::chown(installation.root().c_str(), user.uid, user.gid) != 0) throw std::runtime_error("cannot chown");
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(installation.root())) {
    if (::lchown(entry.path().c_str(), user.uid, user.gid) != 0) throw std::runtime_error("cannot chown");
  }
}

void make_read_only(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

void make_writable(const fs::path& path) { fs::permissions(path, fs::perms::owner_write, fs::perm_options::add); }

}  // namespace netkeep::testing

#endif
