// POSIX only: the files that netkeep replaces (the archive, the data files,
// the hive) keep their owner, group and mode, and a symbolic link to one is
// followed and stays a link; the temporary files of killed commands are never
// exported and the next import or reset removes them; export refuses to
// overwrite the files it exports, and writes a pipe directly.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/fault_support.h"
#include "tests/support/folder_snapshot.h"
#include "tests/support/network_fixture.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;

struct ownership {
  uid_t uid;
  gid_t gid;
  mode_t mode;
  bool operator==(const ownership&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ownership& o) {
  return out << o.uid << ":" << o.gid << " " << std::oct << o.mode << std::dec;
}

ownership ownership_of(const fs::path& file) {
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) throw std::runtime_error("cannot stat " + file.string());
  return {status.st_uid, status.st_gid, static_cast<mode_t>(status.st_mode & 07777)};
}

// Gives `file` to the user nobody (as root) with `mode`.
ownership give(const fs::path& file, mode_t mode) {
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr || ::chown(file.c_str(), nobody->pw_uid, nobody->pw_gid) != 0 ||
      ::chmod(file.c_str(), mode) != 0) {
    throw std::runtime_error("cannot give " + file.string() + " to nobody");
  }
  return ownership_of(file);
}

void put(const fs::path& file, const std::string& contents) {
  fs::create_directories(file.parent_path());
  write_file(file, contents);
}

class ReplacedFiles : public ::testing::Test {
 protected:
  ReplacedFiles() {
    install_network(installation);
    install_network(source, section("Imported") + "\n\"From\"=\"the archive\"\n");
    put(source.data_directory() / "Switching" / "settings.txt", "from the archive");
    EXPECT_EQ(source.run({"export", "source.nka"}).status, 0);
    archive = program_path(source.root() / "source.nka");
  }

  void SetUp() override {
    SKIP_ON_WINDOWS_TARGET("POSIX owners, modes, links and pipes");
    if (::geteuid() != 0 || ::getpwnam("nobody") == nullptr) GTEST_SKIP() << "needs root and the user nobody";
  }

  test_installation installation;
  test_installation source;
  std::string archive;
};

TEST_F(ReplacedFiles, ImportKeepsTheOwnerGroupAndModeOfEveryFileAndOfTheHive) {
  // A service account's files, as the product's installer leaves them.
  put(installation.data_directory() / "Switching" / "settings.txt", "own");
  const ownership network = give(installation.database("Network.db"), 0660);
  const ownership switching = give(installation.database("Switching.db"), 0640);
  const ownership settings = give(installation.data_directory() / "Switching" / "settings.txt", 0600);
  const ownership hive = give(installation.hive_file(), 0640);

  run_result r = installation.run({"import", archive});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(installation.database("Network.db")), read_file(source.database("Network.db")));
  EXPECT_EQ(read_file(installation.data_directory() / "Switching" / "settings.txt"), "from the archive");
  EXPECT_NE(installation.registry_text().find("the archive"), std::string::npos);
  EXPECT_EQ(ownership_of(installation.database("Network.db")), network);
  EXPECT_EQ(ownership_of(installation.database("Switching.db")), switching);
  EXPECT_EQ(ownership_of(installation.data_directory() / "Switching" / "settings.txt"), settings);
  EXPECT_EQ(ownership_of(installation.hive_file()), hive);
}

TEST_F(ReplacedFiles, ExportOverAnArchiveKeepsItsOwnerAndMode) {
  put(installation.root() / "backup.nka", "an older archive");
  const ownership kept = give(installation.root() / "backup.nka", 0600);

  run_result r = installation.run({"export", "backup.nka"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ownership_of(installation.root() / "backup.nka"), kept) << "an archive holds the whole configuration";
  ASSERT_EQ(installation.run({"export", "fresh.nka"}).status, 0);
  EXPECT_EQ(read_file(installation.root() / "backup.nka"), read_file(installation.root() / "fresh.nka"));
}

TEST_F(ReplacedFiles, SymbolicLinksToTheArchiveTheDataFilesAndTheHiveAreFollowedAndStay) {
  // The archive's link names a file that does not exist yet, relative to the
  // link's folder.
  fs::create_directories(installation.root() / "archives");
  fs::create_symlink("archives/today.nka", installation.root() / "latest.nka");
  // The database and the hive live elsewhere.
  const fs::path elsewhere = installation.root() / "elsewhere";
  fs::create_directories(elsewhere);
  fs::rename(installation.database("Network.db"), elsewhere / "Network.db");
  fs::create_symlink(elsewhere / "Network.db", installation.database("Network.db"));
  fs::rename(installation.hive_file(), elsewhere / "registry.reg");
  fs::create_symlink("elsewhere/registry.reg", installation.hive_file());

  run_result r = installation.run({"export", "latest.nka"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(installation.root() / "latest.nka"));
  ASSERT_TRUE(fs::is_regular_file(installation.root() / "archives" / "today.nka"));

  // SQLite keeps the journal beside the file that the link names.
  leave_hot_journal(installation.database("Network.db"));
  ASSERT_TRUE(fs::exists(elsewhere / "Network.db-journal"));
  r = installation.run({"import", archive});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(installation.database("Network.db")));
  EXPECT_FALSE(fs::exists(elsewhere / "Network.db-journal"));
  EXPECT_EQ(read_file(elsewhere / "Network.db"), read_file(source.database("Network.db")));
  EXPECT_TRUE(fs::is_symlink(installation.hive_file()));
  EXPECT_NE(read_file(elsewhere / "registry.reg").find("the archive"), std::string::npos);
  for (const fs::directory_entry& entry : fs::directory_iterator(elsewhere)) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("netkeep-")) << entry.path();
  }
}

TEST_F(ReplacedFiles, AnArchiveWrittenToAPipeIsTheArchiveWrittenToAFile) {
  ASSERT_EQ(installation.run({"export", "file.nka"}).status, 0);
  const std::string expected = read_file(installation.root() / "file.nka");

  // Standard output that is a pipe, as in `netkeep export /dev/stdout | ssh ...`.
  run_result r = run_process({"/bin/sh", "-c", "\"$0\" export /dev/stdout | cat > piped.nka", NETKEEP_BINARY},
                             installation.root(), {"ORBENTA_REGISTRY=" + installation.hive_file().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(installation.root() / "piped.nka"), expected);

  // A named pipe.
  const fs::path fifo = installation.root() / "archive.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // A writer of the test's own, so that the reader ends even when the
  // archive never arrives through the pipe.
  const int keeper = ::open(fifo.c_str(), O_RDWR);
  ASSERT_GE(keeper, 0);
  std::string received;
  std::thread reader([&] { received = read_file(fifo); });
  r = installation.run({"export", "archive.fifo"});
  ::close(keeper);
  reader.join();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(received, expected);
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

// --- Leftovers of killed commands, and what export must not overwrite
// (these run against the Windows program too).

TEST(LeftoverFiles, AreNeverExportedAndTheNextImportOrResetRemovesThem) {
  test_installation installation;
  install_network(installation);
  const std::vector<std::string> leftovers = {"netkeep-4242-0.tmp", "Switching/netkeep-0123456789abcdef.tmp",
                                              "PIM/deep/netkeep-77-3.tmp", "Switching/netkeep-9-1.probe"};
  // Names of the operator's own that only look alike.
  const std::vector<std::string> own = {"Switching/netkeep-notes.tmp", "PIM/netkeep-0123456789ABCDEF.tmp"};
  const auto put_all = [&] {
    for (const std::string& name : leftovers) put(installation.data_directory() / name, "left by a killed netkeep");
    for (const std::string& name : own) put(installation.data_directory() / name, "the operator's");
  };
  const auto present = [&](const test_installation& where, const std::vector<std::string>& names) {
    std::vector<std::string> found;
    for (const std::string& name : names) {
      if (fs::exists(where.data_directory() / name)) found.push_back(name);
    }
    return found;
  };
  put_all();

  ASSERT_EQ(installation.run({"export", "saved.nka"}).status, 0);
  test_installation copy;
  ASSERT_EQ(copy.run({"import", program_path(installation.root() / "saved.nka")}).status, 0);
  EXPECT_EQ(present(copy, leftovers), std::vector<std::string>{});
  EXPECT_EQ(present(copy, own), own);

  ASSERT_EQ(installation.run({"import", program_path(installation.root() / "saved.nka")}).status, 0);
  EXPECT_EQ(present(installation, leftovers), std::vector<std::string>{});
  EXPECT_EQ(present(installation, own), own);

  put_all();
  ASSERT_EQ(installation.run({"reset"}).status, 0);
  EXPECT_EQ(present(installation, leftovers), std::vector<std::string>{});
}

TEST(ExportTargets, AnArchiveOntoAFileThatExportCopiesIsRefused) {
  test_installation installation;
  install_network(installation);
  put(installation.data_directory() / "Switching" / "settings.txt", "settings");
  put(installation.database("Network.db-journal"), "");
  const installation_state before = save_state(installation);

  for (const fs::path& target : {installation.database("Network.db"), installation.database("Network.db-journal"),
                                 installation.data_directory() / "Switching" / "settings.txt"}) {
    const std::string name = program_path(target);
    run_result r = installation.run({"export", name});
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.err, failed_phase("cannot export onto a data file: " + name));
    EXPECT_EQ(save_state(installation), before);
  }
  if (windows_target()) return;  // the Windows registry is no file
  // The hive would be an archive, which no command can read.
  run_result r = installation.run({"export", "registry.reg"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, failed_phase("cannot export onto the registry file: registry.reg"));
  EXPECT_EQ(save_state(installation), before);
}

}  // namespace
}  // namespace netkeep::testing

#endif
