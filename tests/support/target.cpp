#include "tests/support/target.h"

#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "platform/win32/error.h"
#include "tests/support/hive_listing.h"
#include "tests/support/test_installation.h"
#include "tests/support/wine_prefix.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> read_if_present(const fs::path& file) {
  if (!fs::exists(file)) return std::nullopt;
  return read_file(file);
}

// The hive file whose contents the prefix's registry holds, with the bytes
// that the file had then, so that a run on an unchanged file loads nothing.
struct loaded_hive {
  fs::path file;
  std::optional<std::string> bytes;
};
std::optional<loaded_hive> loaded;

run_result run_windows_program(const fs::path& hive, const std::vector<std::string>& words, const fs::path& folder,
                               std::uint64_t file_size_limit) {
  const std::optional<std::string> before = read_if_present(hive);
  // Loading also makes sure that the Wine server runs, so that a limited run
  // does not start it with the limit, which would stop it saving the
  // registry.
  if (!loaded || loaded->file != hive || loaded->bytes != before || file_size_limit != 0) {
    loaded.reset();
    wine::load_registry(before.value_or(""));
    loaded = loaded_hive{hive, before};
  }
  run_result result = wine::run(wine::windows_exe(), words, folder, file_size_limit);

  const std::string after = wine::save_registry();
  if (hive_text_contents(after) != hive_text_contents(before.value_or(""))) {
    write_file(hive, after);
    loaded = loaded_hive{hive, after};
  }
  return result;
}

}  // namespace

bool windows_target() {
  static const bool windows = [] {
    const char* target = std::getenv("NETKEEP_TEST_TARGET");
    const std::string name = target != nullptr ? target : "";
    if (name != "" && name != "linux" && name != "windows") {
      throw std::runtime_error("NETKEEP_TEST_TARGET is '" + name + "': expected linux or windows");
    }
    return name == "windows";
  }();
  return windows;
}

fs::path scratch_folder() {
  return windows_target() ? wine::prefix() / "drive_c" : fs::temp_directory_path();
}

std::string program_path(const fs::path& path) {
  return windows_target() ? wine::windows_path(path) : path.string();
}

std::string system_message(std::uint32_t code) {
  return windows_target() ? wine::system_message(code) : win32::system_message(code);
}

run_result run_target(const fs::path& hive, const std::vector<std::string>& words, const fs::path& folder,
                      std::uint64_t file_size_limit) {
  if (windows_target()) return run_windows_program(hive, words, folder, file_size_limit);
  std::vector<std::string> argv = {NETKEEP_BINARY};
  argv.insert(argv.end(), words.begin(), words.end());
  return run_process(argv, folder, {"ORBENTA_REGISTRY=" + hive.string()}, file_size_limit);
}

}  // namespace netkeep::testing
