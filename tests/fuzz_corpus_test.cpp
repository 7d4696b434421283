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
#include "fuzz/table_answers_target.h"
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

// The targets run in this process, so there is nothing to run against the
// Windows program.
const char* const in_process_reason = "the fuzz targets run in the test process: no netkeep runs";

TEST(FuzzCorpus, ArchiveInputs) {
  SKIP_ON_WINDOWS_TARGET(in_process_reason);
  EXPECT_GT(replay("archive", [](const std::string& bytes) { fuzz::archive_target(bytes); }), 0);
}

TEST(FuzzCorpus, HiveInputs) {
  SKIP_ON_WINDOWS_TARGET(in_process_reason);
  EXPECT_GT(replay("hive", [](const std::string& bytes) { fuzz::hive_target(bytes); }), 0);
}

TEST(FuzzCorpus, ConfigurationInputs) {
  SKIP_ON_WINDOWS_TARGET(in_process_reason);
  const int count = replay("configuration", [](const std::string& bytes) {
    fuzz::configuration_target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  });
  EXPECT_GT(count, 0);
}

TEST(FuzzCorpus, TableAnswersInputs) {
  SKIP_ON_WINDOWS_TARGET(in_process_reason);
  const int count = replay("table_answers", [](const std::string& bytes) {
    EXPECT_EQ(fuzz::table_answers_target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "");
  });
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace netkeep::testing
