#include "tests/support/wine_prefix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <stdexcept>

#include "tests/support/test_installation.h"

namespace netkeep::testing::wine {
namespace {

namespace fs = std::filesystem;

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

fs::path wine_run_script() { return fs::path(NETKEEP_SOURCE_DIR) / "scripts" / "wine-run"; }

// The helper that loads and saves the prefix's registry (tests/wine).
fs::path registry_tool() { return windows_exe().parent_path() / "wine_registry.exe"; }

fs::path base_prefix() {
  const std::string given = environment("WINEPREFIX");
  return given.empty() ? windows_exe().parent_path() / "wine-prefix" : fs::path(given);
}

// The id of the "wine_prefix" resource that CTest allotted to this test
// ("id:<id>,slots:1"), or nothing.
std::string allotted_prefix_id() {
  const std::string allotment = environment("CTEST_RESOURCE_GROUP_0_WINE_PREFIX");
  if (allotment.rfind("id:", 0) != 0) return "";
  return allotment.substr(3, allotment.find(',') - 3);
}

bool is_set_up(const fs::path& prefix) { return fs::exists(prefix / "system.reg"); }

// Holds an exclusive flock on a file while it lives.
class file_lock {
 public:
  explicit file_lock(const fs::path& file) : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + file.string());
  }
  ~file_lock() { ::close(fd_); }
  file_lock(const file_lock&) = delete;
  file_lock& operator=(const file_lock&) = delete;

 private:
  int fd_;
};

// Makes `copy` a prefix equal to the set-up prefix `base`. The folders
// share their files by hard links, which costs next to nothing; the files
// at the top (the registry files that the Wine server rewrites, the update
// stamp) are copied.
void copy_prefix(const fs::path& base, const fs::path& copy) {
  const fs::path partial = copy.string() + ".partial";
  fs::remove_all(partial);
  fs::create_directory(partial);
  for (const fs::directory_entry& entry : fs::directory_iterator(base)) {
    const fs::path target = partial / entry.path().filename();
    if (entry.is_directory()) {
      fs::copy(entry.path(), target,
               fs::copy_options::recursive | fs::copy_options::copy_symlinks | fs::copy_options::create_hard_links);
    } else if (entry.is_regular_file() && entry.path().filename() != ".setting-up") {
      fs::copy_file(entry.path(), target);
    }
  }
  fs::rename(partial, copy);
}

fs::path set_up_prefix() {
  const fs::path base = base_prefix();
  const std::string id = allotted_prefix_id();
  const fs::path prefix = id.empty() ? base : fs::path(base.string() + ".e2e-" + id);
  if (!is_set_up(base)) {
    // wine-run sets a new prefix up, under a lock, before it runs anything.
    fs::create_directories(base);
    run_result version = run_process({"/bin/sh", wine_run_script().string(), windows_exe().string(), "version"},
                                     base, {"WINEPREFIX=" + base.string()});
    if (version.status != 0 || !is_set_up(base)) {
      throw std::runtime_error("cannot set up the Wine prefix " + base.string() + ": " + version.raw_err);
    }
  }
  if (!is_set_up(prefix)) {
    file_lock lock(prefix.string() + ".lock");
    if (!is_set_up(prefix)) copy_prefix(base, prefix);
  }
  // A Wine server that the first program starts stays 3 s after the last
  // one ends; one that stays 30 s spans the pauses of a test run, so that
  // each test process does not pay for starting it again. When one runs
  // already this one ends at once.
  run_process({"/bin/sh", "-c", "exec wineserver -p30"}, prefix, {"WINEPREFIX=" + prefix.string()});
  return prefix;
}

// Runs the registry helper; its failure is the calling test's.
void run_registry_tool(const std::vector<std::string>& arguments, std::string* out = nullptr) {
  const run_result result = run(registry_tool(), arguments, prefix());
  if (result.status != 0) {
    throw std::runtime_error("wine_registry " + arguments.at(0) + " failed (" + std::to_string(result.status) +
                             "): " + result.raw_err);
  }
  if (out != nullptr) *out = result.out;
}

// The file through which the registry helper reads and writes hive text.
fs::path exchange_file() { return prefix() / "drive_c" / ("netkeep-registry-" + std::to_string(::getpid()) + ".reg"); }

}  // namespace

fs::path windows_exe() {
  const std::string given = environment("NETKEEP_WINDOWS_EXE");
  const fs::path exe = given.empty() ? fs::path(NETKEEP_WINDOWS_EXE) : fs::path(given);
  if (!fs::exists(exe)) {
    throw std::runtime_error(exe.string() +
                             " does not exist: build it first (cmake --preset windows && cmake --build --preset "
                             "windows) or name it in NETKEEP_WINDOWS_EXE");
  }
  return fs::absolute(exe);
}

const fs::path& prefix() {
  static const fs::path prefix = set_up_prefix();
  return prefix;
}

std::string windows_path(const fs::path& path) {
  return drive_path(fs::absolute(path), prefix() / "drive_c");
}

std::string drive_path(const fs::path& path, const fs::path& drive_c) {
  const fs::path absolute = path.lexically_normal();
  const fs::path below_c = absolute.lexically_relative(drive_c.lexically_normal());
  std::string windows;
  if (!below_c.empty() && *below_c.begin() != "..") {
    windows = "C:\\" + (below_c == "." ? std::string() : below_c.string());
  } else {
    windows = "Z:" + absolute.string();
  }
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

run_result run(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder,
               std::uint64_t file_size_limit) {
  std::vector<std::string> argv = {"/bin/sh", wine_run_script().string(), program.string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  // The command line reaches the program as UTF-8 whatever the test's
  // locale.
  const std::vector<std::string> environment = {"WINEPREFIX=" + prefix().string(), "LC_ALL=C.UTF-8"};
  // Now and then, on a loaded machine, Wine fails to start a program: it
  // ends with status 1 and writes nothing, which neither netkeep.exe nor
  // wine_registry.exe ever does. Such a start is tried again.
  for (int attempt = 1;; ++attempt) {
    run_result result = run_process(argv, folder, environment, file_size_limit);
    const bool not_started = result.status == 1 && result.out.empty() && result.raw_err.empty();
    if (!not_started || attempt == 3) return result;
    std::cerr << "note: Wine did not start " << program.filename().string() << "; trying again\n";
  }
}

void load_registry(const std::string& hive_text) {
  write_file(exchange_file(), hive_text);
  run_registry_tool({"load", windows_path(exchange_file())});
  fs::remove(exchange_file());
}

std::string save_registry() {
  run_registry_tool({"save", windows_path(exchange_file())});
  std::string text = read_file(exchange_file());
  fs::remove(exchange_file());
  return text;
}

std::string system_message(std::uint32_t code) {
  static std::map<std::uint32_t, std::string> known;
  auto found = known.find(code);
  if (found == known.end()) {
    std::string out;
    run_registry_tool({"message", std::to_string(code)}, &out);
    if (out.ends_with("\n")) out.pop_back();
    found = known.emplace(code, out).first;
  }
  return found->second;
}

}  // namespace netkeep::testing::wine
