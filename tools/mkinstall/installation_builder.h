#pragma once
// Building a whole installation in a directory, in the layout that netkeep's
// tests and users share: DIR/registry.reg (the hive that ORBENTA_REGISTRY
// names) holding the installation key with "path" = DIR/install, and the data
// directory DIR/install/data.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/mkinstall/faults.h"

namespace mkinstall {

struct build_request {
  std::filesystem::path directory;
  std::int64_t sites = 100;
  std::uint64_t seed = 1;
  bool with_indexes = true;
  std::vector<const fault*> faults;
};

// An empty installation: the installation key with "path" and "version",
// and an empty data directory. The directory must not exist or be empty.
// Uses the registry of this process, so it is called once per process.
void init_installation(const std::filesystem::path& directory);

// A consistent installation of the request's network with its faults
// injected. The directory must not exist or be empty. Returns a one-line
// summary. Uses the registry of this process, so it is called once per
// process.
std::string create_installation(const build_request& request);

}  // namespace mkinstall
