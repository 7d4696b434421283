// POSIX only: writes that fail part-way, made with a file size limit
// (RLIMIT_FSIZE), as a full file system would make them. The archive, the
// data files and the hive file stay as they were, and no temporary file is
// left behind.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/support/fault_support.h"
#include "tests/support/network_fixture.h"
#include "tests/support/process_control.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t limit = 256 * 1024;

class WriteFaults : public ::testing::Test {
 protected:
  WriteFaults() {
    install_network(installation);
    install_network(source);
    // A database larger than the limit.
    source.sql("Network.db",
               "CREATE TABLE notes(x); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000)"
               " INSERT INTO notes SELECT zeroblob(1000) FROM n");
    EXPECT_GT(fs::file_size(source.database("Network.db")), limit);
  }

  run_result run_limited(test_installation& target, const std::vector<std::string>& words, std::uint64_t bytes) {
    run_options options;
    options.file_size_limit = bytes;
    return run_netkeep(target, words, options);
  }

  test_installation installation;
  test_installation source;
};

TEST_F(WriteFaults, AnExportThatCannotBeWrittenInFullKeepsThePreviousArchive) {
  ASSERT_EQ(source.run({"export", "backup.nka"}).status, 0);
  source.sql("Switching.db", "INSERT INTO managed_device_map VALUES (9, 'NEWER')");
  const std::string previous = read_file(source.root() / "backup.nka");
  const installation_state before = save_state(source);

  run_result r = run_limited(source, {"export", "backup.nka"}, limit);
  EXPECT_EQ(r.err, failed_phase("unexpected"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(source.root() / "backup.nka"), previous);
  EXPECT_EQ(save_state(source), before);
  EXPECT_EQ(leftover_temporary_files(source), std::vector<std::string>{});
}

TEST_F(WriteFaults, AnImportWhoseFilesCannotBeWrittenInFullChangesNeitherTheFilesNorTheRegistry) {
  source.set_registry(network_registry() + section("Imported") + "\n\"From\"=\"the archive\"\n");
  ASSERT_EQ(source.run({"export", "source.nka"}).status, 0);
  const installation_state before = save_state(installation);

  run_result r = run_limited(installation, {"import", (source.root() / "source.nka").string()}, limit);
  EXPECT_EQ(r.err, failed_phase("unexpected"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(save_state(installation), before);
  EXPECT_EQ(leftover_temporary_files(installation), std::vector<std::string>{});
}

TEST_F(WriteFaults, AHiveThatCannotBeWrittenBackKeepsTheHiveAndTheDataFilesOfTheImport) {
  // A registry much larger than any data file: the files are staged, the
  // hive's write-back fails.
  test_installation small;
  std::string values;
  for (int i = 0; i < 6000; ++i) values += "\"Value" + std::to_string(i) + "\"=\"" + std::string(40, 'v') + "\"\n";
  small.set_registry(section("Many") + "\n" + values);
  small.create_databases();
  ASSERT_EQ(small.run({"export", "many.nka"}).status, 0);
  std::uint64_t largest_file = 0;
  for (const char* file : {"Network.db", "Switching.db", "DeviceRedundancy.db"}) {
    largest_file = std::max<std::uint64_t>(largest_file, fs::file_size(small.database(file)));
  }
  ASSERT_GT(small.registry_text().size(), 2 * largest_file + 8192);
  const installation_state before = save_state(installation);

  run_result r = run_limited(installation, {"import", (small.root() / "many.nka").string()}, largest_file + 8192);
  EXPECT_EQ(r.err, failed_phase("cannot write the registry file " + installation.hive_file().string() +
                                ": File too large"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(save_state(installation), before);
  EXPECT_EQ(leftover_temporary_files(installation), std::vector<std::string>{});
}

}  // namespace
}  // namespace netkeep::testing

#endif
