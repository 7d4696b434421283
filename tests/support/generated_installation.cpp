#include "tests/support/generated_installation.h"

#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "tests/support/process.h"

namespace netkeep::testing {
namespace {

std::filesystem::path make_temp_folder() {
  static std::atomic<int> counter{0};
  const std::filesystem::path base = scratch_folder();
  for (;;) {
    std::filesystem::path candidate =
        base / ("mkinstall-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(candidate)) return candidate;
  }
}

// mkinstall writes the installation folder's Linux path as "path"; the
// Windows program gets the folder's drive path instead.
void use_program_path(const std::filesystem::path& hive, const std::filesystem::path& install) {
  if (!windows_target() || !std::filesystem::exists(hive)) return;
  const std::string written = "\"path\"=\"" + reg_escape(install.string()) + "\"\n";
  std::string text = read_file(hive);
  const std::size_t at = text.find(written);
  if (at == std::string::npos) return;
  text.replace(at, written.size(), "\"path\"=\"" + reg_escape(program_path(install)) + "\"\n");
  write_file(hive, text);
}

}  // namespace

generated_installations::generated_installations() : root_(make_temp_folder()) {}

generated_installations::~generated_installations() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

run_result generated_installations::mkinstall(const std::vector<std::string>& words) const {
  std::vector<std::string> argv = {MKINSTALL_BINARY};
  argv.insert(argv.end(), words.begin(), words.end());
  return run_process(argv, root_);
}

std::filesystem::path generated_installations::create(const std::string& name,
                                                      const std::vector<std::string>& options) const {
  std::vector<std::string> words = {"create", installation(name).string()};
  words.insert(words.end(), options.begin(), options.end());
  const run_result created = mkinstall(words);
  if (created.status != 0) throw std::runtime_error("mkinstall failed: " + created.err);
  return installation(name);
}

run_result generated_installations::netkeep(const std::string& name, const std::vector<std::string>& words) const {
  const std::filesystem::path hive = installation(name) / "registry.reg";
  use_program_path(hive, installation(name) / "install");
  return run_target(hive, words, root_);
}

std::vector<listed_problem> listed_problems(const std::string& verify_output) {
  static const std::string block_start = "\n\nProblem Description:\n";
  static const std::string action_start = "\n\nRecovery Action:\n";
  std::vector<listed_problem> problems;
  std::size_t position = verify_output.find(block_start);
  while (position != std::string::npos) {
    const std::size_t description = position + block_start.size();
    const std::size_t next = verify_output.find(block_start, description);
    const std::string block = verify_output.substr(description, next == std::string::npos ? next : next - description);
    const std::size_t action = block.rfind(action_start);
    if (action == std::string::npos) throw std::runtime_error("a problem block without its recovery action");
    std::string action_text = block.substr(action + action_start.size());
    if (!action_text.empty() && action_text.back() == '\n') action_text.pop_back();
    problems.push_back({block.substr(0, action), action_text});
    position = next;
  }
  return problems;
}

}  // namespace netkeep::testing
