#pragma once
// mkinstall: creates Orbenta installations (a hive file and a data folder
// with the three product databases) for the demo, the tests and the
// benchmark, playing the part of the product's other programs.

#include <string>
#include <vector>

namespace mkinstall {

// Runs mkinstall with the words after the program name; returns the exit
// status.
int run(const std::vector<std::string>& words);

}  // namespace mkinstall
