// The seed corpora and regression inputs of the fuzz targets, replayed
// through the same target functions on every test run (and so under the
// sanitizer builds): an input that once crashed or hung stays fixed.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "fuzz/archive_target.h"
#include "fuzz/configuration_target.h"
#include "fuzz/hive_target.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;

// Runs every file of fuzz/corpus/<name> through `target`; returns how many.
int replay(const std::string& name, const std::function<void(const std::string&)>& target) {
  int count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(NETKEEP_SOURCE_DIR) / "fuzz" / "corpus" / name)) {
    SCOPED_TRACE(entry.path().string());
    target(read_file(entry.path()));
    ++count;
  }
  return count;
}

TEST(FuzzCorpus, ArchiveInputs) { EXPECT_GT(replay("archive", [](const std::string& bytes) { fuzz::archive_target(bytes); }), 0); }

TEST(FuzzCorpus, HiveInputs) { EXPECT_GT(replay("hive", [](const std::string& bytes) { fuzz::hive_target(bytes); }), 0); }

TEST(FuzzCorpus, ConfigurationInputs) {
  const int count = replay("configuration", [](const std::string& bytes) {
    fuzz::configuration_target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  });
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace netkeep::testing
