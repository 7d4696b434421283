#pragma once
// Installations built by the mkinstall program for end-to-end tests: a
// throw-away folder in which mkinstall creates one or more installations,
// and runs of netkeep against them.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_installation.h"

namespace netkeep::testing {

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
  // Runs the program under test (target.h) on the installation <root>/<name>,
  // in root(). Against the Windows program its "path" is first made the
  // folder's drive path.
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
