#pragma once
// The texts that `verify` and `repair` write, for comparing a run's output
// in end-to-end tests.

#include <string>

namespace netkeep::testing {

// One problem block of `verify`'s standard output; an empty action is an
// uncorrectable problem.
inline std::string problem_block(const std::string& description, const std::string& action = "") {
  return "\n\nProblem Description:\n" + description + "\n\nRecovery Action:\n" +
         (action.empty() ? "No automatic action can be taken." : action) + "\n";
}

// The three count lines.
inline std::string summary(int correctable, int uncorrectable) {
  return "  Correctable Errors Detected: " + std::to_string(correctable) +
         "\nUncorrectable Errors Detected: " + std::to_string(uncorrectable) +
         "\n        Total Errors Detected: " + std::to_string(correctable + uncorrectable) + "\n";
}

}  // namespace netkeep::testing
