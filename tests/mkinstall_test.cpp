// mkinstall end to end: the installations it builds are consistent at every
// size, repeatable byte for byte, and usable by netkeep as a Linux user does.

#include <gtest/gtest.h>

#include "tests/support/generated_installation.h"

namespace netkeep::testing {
namespace {

const char* const files[] = {"registry.reg",
                             "install/data/Network.db",
                             "install/data/Switching.db",
                             "install/data/DeviceRedundancy.db",
                             "install/data/Switching/engine.state",
                             "install/data/PIM/inventory.xml"};

// verify's output when it finds nothing (the spinner's cleared line aside).
bool verified_clean(const run_result& verify) {
  return verify.status == 0 && verify.out.empty() && verify.err.ends_with("\rNo problems detected.\n");
}

class Mkinstall : public ::testing::Test {
 protected:
  generated_installations folder;
};

TEST_F(Mkinstall, ConsistentInstallationsVerifyClean) {
  for (const auto& options : {std::vector<std::string>{"--sites", "1"}, std::vector<std::string>{"--sites", "40"},
                              std::vector<std::string>{"--sites", "3000", "--seed", "11"},
                              std::vector<std::string>{"--sites", "3000", "--no-indexes"}}) {
    const std::string name = "site-" + options[1] + (options.size() > 2 ? options[2] : "");
    folder.create(name, options);
    const run_result verify = folder.netkeep(name, {"verify"});
    EXPECT_TRUE(verified_clean(verify)) << name << ": " << verify.out << verify.err;
  }
}

TEST_F(Mkinstall, InstallationLayout) {
  const std::filesystem::path dir = folder.create("site", {"--sites", "25"});
  for (const char* file : files) EXPECT_TRUE(std::filesystem::is_regular_file(dir / file)) << file;
  const std::string hive = read_file(dir / "registry.reg");
  EXPECT_NE(hive.find("\"path\"=\"" + (dir / "install").string() + "\""), std::string::npos);
  EXPECT_NE(hive.find("\"version\"=\"3.16.4.1526\""), std::string::npos);
  EXPECT_NE(hive.find("\\Bandwidth\\Satellites\\1\\Properties\\{2C3FDB10-B500-4423-947A-16D2FECA7876}]"),
            std::string::npos);
  EXPECT_NE(hive.find("\\Network\\Properties\\25\\{41D79A62-C53D-45DB-8F45-F44649E27BB6}]"), std::string::npos);
}

TEST_F(Mkinstall, TheSameSeedGivesTheSameFiles) {
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--sites", "120", "--seed", "7"},
        std::vector<std::string>{"--sites", "120", "--seed", "7", "--faults", "all", "--no-indexes"}}) {
    const std::filesystem::path dir = folder.create("site", options);
    std::vector<std::string> first;
    for (const char* file : files) first.push_back(read_file(dir / file));
    std::filesystem::remove_all(dir);

    folder.create("site", options);
    for (std::size_t i = 0; i < std::size(files); ++i) {
      EXPECT_TRUE(read_file(dir / files[i]) == first[i]) << files[i] << " differs";
    }
    std::filesystem::remove_all(dir);
  }
  // Another seed names the sites differently; the path aside, so does
  // another folder with the same seed not.
  const std::filesystem::path a = folder.create("a", {"--sites", "30", "--seed", "1"});
  const std::filesystem::path b = folder.create("b", {"--sites", "30", "--seed", "2"});
  const std::filesystem::path c = folder.create("c", {"--sites", "30", "--seed", "1"});
  EXPECT_FALSE(read_file(a / files[1]) == read_file(b / files[1]));
  EXPECT_TRUE(read_file(a / files[2]) == read_file(c / files[2]));
}

TEST_F(Mkinstall, AnArchiveFromASiteImportsIntoAnInitialisedInstallation) {
  folder.create("windows-site", {"--sites", "60", "--seed", "3"});
  const run_result exported = folder.netkeep("windows-site", {"export", "site.orb"});
  ASSERT_EQ(exported.status, 0) << exported.err;

  const run_result init = folder.mkinstall({"init", folder.installation("linux").string()});
  ASSERT_EQ(init.status, 0) << init.err;
  const std::filesystem::path linux_dir = folder.installation("linux");
  EXPECT_TRUE(std::filesystem::is_directory(linux_dir / "install" / "data"));
  EXPECT_TRUE(std::filesystem::is_empty(linux_dir / "install" / "data"));

  const run_result imported = folder.netkeep("linux", {"import", "site.orb"});
  ASSERT_EQ(imported.status, 0) << imported.err;
  const run_result verify = folder.netkeep("linux", {"verify"});
  EXPECT_TRUE(verified_clean(verify)) << verify.out << verify.err;
  for (const char* db : {"Network.db", "Switching.db", "DeviceRedundancy.db"}) {
    EXPECT_TRUE(read_file(linux_dir / "install" / "data" / db) ==
                read_file(folder.installation("windows-site") / "install" / "data" / db))
        << db;
  }
  // The imported installation keeps its own path.
  EXPECT_NE(read_file(linux_dir / "registry.reg").find((linux_dir / "install").string()), std::string::npos);
}

TEST_F(Mkinstall, RefusesWhatItCannotDo) {
  folder.create("used", {"--sites", "3"});
  const run_result again = folder.mkinstall({"create", folder.installation("used").string()});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("exists and is not empty"), std::string::npos);

  const run_result unknown = folder.mkinstall({"create", folder.installation("x").string(), "--faults", "gremlins"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown fault 'gremlins'"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.installation("x")));

  const run_result small =
      folder.mkinstall({"create", folder.installation("y").string(), "--sites", "3", "--faults", "all"});
  EXPECT_EQ(small.status, 2);
  EXPECT_NE(small.err.find("these faults need --sites"), std::string::npos);

  const run_result list = folder.mkinstall({"faults"});
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 40);
  EXPECT_NE(list.out.find("unused-managed-device"), std::string::npos);
}

}  // namespace
}  // namespace netkeep::testing
