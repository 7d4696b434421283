#pragma once
// Installations built by the mkinstall program for end-to-end tests: a
// throw-away folder in which mkinstall creates one or more installations,
// and runs of netkeep against them.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_installation.h"

namespace netkeep::testing {

// Runs a program (argv[0] is its path) in `folder`, with `environment`
// entries ("NAME=value") added to this process's environment; standard
// output and error are captured.
run_result run_program(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                       const std::vector<std::string>& environment = {});

class generated_installations {
 public:
  generated_installations();
  ~generated_installations();
  generated_installations(const generated_installations&) = delete;
  generated_installations& operator=(const generated_installations&) = delete;

  // The throw-away folder.
  const std::filesystem::path& root() const { return root_; }
  // An installation folder below it (not created).
  std::filesystem::path installation(const std::string& name) const { return root_ / name; }

  // Runs the built mkinstall with these words.
  run_result mkinstall(const std::vector<std::string>& words) const;
  // `mkinstall create <root>/<name> <options>`; fails the calling test
  // through an exception when mkinstall fails.
  std::filesystem::path create(const std::string& name, const std::vector<std::string>& options) const;
  // Runs the built netkeep on the installation <root>/<name>.
  run_result netkeep(const std::string& name, const std::vector<std::string>& words) const;

 private:
  std::filesystem::path root_;
};

// One problem block of verify's standard output.
struct listed_problem {
  std::string description;
  std::string action;  // "No automatic action can be taken." when uncorrectable
};

// The problem blocks of verify's standard output, in order.
std::vector<listed_problem> listed_problems(const std::string& verify_output);

}  // namespace netkeep::testing
