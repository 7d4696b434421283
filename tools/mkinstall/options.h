#pragma once
// The command line of mkinstall.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace mkinstall {

// A command line that cannot be understood; its message says why, and the
// usage text follows it.
class usage_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class command_word { init, create, faults };

struct options {
  command_word command = command_word::faults;
  std::string directory;          // init and create
  std::int64_t sites = 100;       // create: number of sites, at least 1
  std::uint64_t seed = 1;         // create
  std::string faults = "none";    // create: "none", "all" or names joined by commas
  bool with_indexes = true;       // create: false for --no-indexes
};

// Parses the words after the program name:
//   init DIR
//   create DIR [--sites N] [--seed S] [--faults none|all|NAME,...] [--no-indexes]
//   faults
// Throws usage_error for anything else (unknown words, missing or malformed
// values, a second directory). Fault names are not checked here.
options parse_options(const std::vector<std::string>& words);

// The usage text, several lines, each ending with a line feed.
const char* usage_text();

}  // namespace mkinstall
