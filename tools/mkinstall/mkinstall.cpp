#include "tools/mkinstall/mkinstall.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <iostream>

#include "tools/mkinstall/faults.h"
#include "tools/mkinstall/installation_builder.h"
#include "tools/mkinstall/options.h"

namespace mkinstall {
namespace {

void list_faults() {
  std::size_t width = 0;
  for (const fault& f : all_faults()) width = std::max(width, std::strlen(f.name));
  for (const fault& f : all_faults()) {
    std::cout << std::left << std::setw(static_cast<int>(width) + 2) << f.name << f.summary << '\n';
  }
}

// Runs the building of a new installation; when it fails, removes the
// folder it made, so that a second attempt can use the same name.
template <typename Build>
void building(const std::string& directory, Build build) {
  const bool existed = std::filesystem::exists(directory);
  try {
    build();
  } catch (...) {
    std::error_code ignored;
    if (!existed) std::filesystem::remove_all(directory, ignored);
    throw;
  }
}

int run_command(const options& parsed) {
  switch (parsed.command) {
    case command_word::faults:
      list_faults();
      return 0;
    case command_word::init:
      building(parsed.directory, [&] { init_installation(parsed.directory); });
      return 0;
    case command_word::create: {
      build_request request{parsed.directory, parsed.sites, parsed.seed, parsed.with_indexes,
                            select_faults(parsed.faults)};
      const std::int64_t needed = sites_needed(request.faults);
      if (request.sites < needed) {
        throw usage_error("these faults need --sites " + std::to_string(needed) + " or more");
      }
      building(parsed.directory, [&] { std::cout << create_installation(request) << std::endl; });
      return 0;
    }
  }
  return 2;
}

}  // namespace

int run(const std::vector<std::string>& words) {
  try {
    return run_command(parse_options(words));
  } catch (const usage_error& e) {
    std::cerr << "mkinstall: " << e.what() << "\n" << usage_text();
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "mkinstall: " << e.what() << std::endl;
    return 1;
  }
}

}  // namespace mkinstall
