// `verify FILE` end to end: an exported archive verifies byte for byte as the
// installation it came from, with no installation on the machine, and an
// archive that import refuses is refused with import's error. Nothing is
// left behind: no hive file, no installation key, no temporary file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/win32/error.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/folder_snapshot.h"
#include "tests/support/generated_installation.h"
#include "tests/support/test_installation.h"
#include "tests/support/wine_prefix.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// The program's temporary folder is a folder of the test's own, so that what
// a run leaves there is seen: TMPDIR for the Linux program, the prefix's
// user folders (where Wine keeps %TEMP%) for the Windows one.
class temporary_folder {
 public:
  explicit temporary_folder(const fs::path& folder) : folder_(folder) {
    if (const char* old = std::getenv("TMPDIR")) previous_ = old;
    fs::create_directories(folder_);
    ::setenv("TMPDIR", folder_.c_str(), 1);
  }
  ~temporary_folder() {
    if (previous_) {
      ::setenv("TMPDIR", previous_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

  // The program's temporary files and folders that are there now.
  std::vector<std::string> left_over() const {
    static const std::regex own_name("netkeep-[0-9]+-[0-9]+");
    std::vector<std::string> found;
    const fs::path where = windows_target() ? wine::prefix() / "drive_c" / "users" : folder_;
    for (const auto& entry : fs::recursive_directory_iterator(where, fs::directory_options::skip_permission_denied)) {
      const std::string name = entry.path().filename().string();
      if (std::regex_match(name, own_name)) found.push_back(entry.path());
    }
    return found;
  }

 private:
  fs::path folder_;
  std::optional<std::string> previous_;
};

class ArchiveVerify : public ::testing::Test {
 protected:
  // Runs `verify <archive>` with no installation: the hive is a file that
  // does not exist, in a folder that does not exist either. Expects that
  // neither is created and no temporary file is left.
  run_result verify_archive(const fs::path& archive) {
    const fs::path absent = folder.root() / "absent" / "registry.reg";
    run_result r = run_target(absent, {"verify", program_path(archive)}, folder.root());
    EXPECT_FALSE(fs::exists(absent.parent_path())) << "the registry of no installation was created";
    EXPECT_EQ(temporary.left_over(), std::vector<std::string>{});
    return r;
  }

  generated_installations folder;
  temporary_folder temporary{folder.root() / "tmp"};
};

struct generated_case {
  const char* name;
  std::vector<std::string> options;
};

void PrintTo(const generated_case& c, std::ostream* out) { *out << c.name; }

class ArchiveVerifyOfGenerated : public ArchiveVerify, public ::testing::WithParamInterface<generated_case> {};

TEST_P(ArchiveVerifyOfGenerated, PrintsWhatVerifyPrintsOnTheInstallation) {
  folder.create("site", GetParam().options);
  const run_result expected = folder.netkeep("site", {"verify"});
  ASSERT_EQ(expected.status, 0) << expected.err;
  if (GetParam().options.back() != "none") {
    ASSERT_NE(expected.out, "") << "the faults show";
  }
  ASSERT_EQ(folder.netkeep("site", {"export", "site.nka"}).status, 0);

  const run_result archived = verify_archive(folder.root() / "site.nka");
  EXPECT_EQ(archived.out, expected.out);
  EXPECT_EQ(archived.err, expected.err);
  EXPECT_EQ(archived.status, expected.status);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ArchiveVerifyOfGenerated,
    ::testing::Values(generated_case{"AllFaults", {"--faults", "all"}},
                      generated_case{"AllFaultsWithoutIndexes", {"--faults", "all", "--no-indexes"}},
                      generated_case{"NoFault", {"--faults", "none"}},
                      generated_case{"CorruptMoniker", {"--faults", "corrupt-device-moniker"}},
                      generated_case{"MalformedDatabase", {"--faults", "allocation-space-scan-error", "--no-indexes"}},
                      generated_case{"Allocations", {"--faults", "duplicate-allocations,allocation-on-wrong-space"}}),
    [](const ::testing::TestParamInfo<generated_case>& info) { return std::string(info.param.name); });

std::string archive_of(const std::string& values, const std::string& keys, const std::string& files) {
  return archive_header() + values + end_of_list() + keys + end_of_list() + files + end_of_list();
}

std::string key_record(const std::wstring& name, const std::string& subkeys) {
  return archive_name(name) + end_of_list() + subkeys + end_of_list();
}

TEST_F(ArchiveVerify, RefusesEveryArchiveThatImportRefusesWithImportsError) {
  folder.create("site", {"--sites", "20"});
  ASSERT_EQ(folder.netkeep("site", {"export", "site.nka"}).status, 0);
  const std::string archive = read_file(folder.root() / "site.nka");
  const std::size_t first_file = archive.find(archive_name(L"DeviceRedundancy.db"));
  ASSERT_NE(first_file, std::string::npos);
  const std::size_t first_contents = first_file + archive_name(L"DeviceRedundancy.db").size() + 4;
  const std::string without_file_end = archive.substr(0, archive.size() - 2);
  std::string deep_keys;
  for (int i = 0; i < 508; ++i) deep_keys = key_record(L"k", deep_keys);
  const std::string value = value_record(L"v", 4, u32le(7));

  const std::string damaged[] = {
      "",
      archive.substr(0, 5),
      archive.substr(0, 12),
      archive.substr(0, first_file / 2),
      archive.substr(0, first_file),
      archive.substr(0, first_contents + 100),
      without_file_end,
      "NOTANARC" + archive.substr(8),
      archive_header(3) + archive.substr(12),
      without_file_end + file_record(L"..\\escape", "x") + end_of_list(),
      without_file_end + file_record(L"Switching\\f", "x") + file_record(L"Switching\\f\\g", "x") + end_of_list(),
      archive_of(value, key_record(L"dou\\\\ble", ""), ""),
      archive_of(value, deep_keys, ""),
      archive_of(value_record(std::wstring(300, L'n'), 4, u32le(7)), "", ""),
      archive_of(value_record(L"big", 3, std::string(0x40000, 'x')), "", ""),
  };
  for (const std::string& bytes : damaged) {
    write_file(folder.root() / "damaged.nka", bytes);
    test_installation fresh;
    const run_result imported = fresh.run({"import", program_path(folder.root() / "damaged.nka")});
    ASSERT_EQ(imported.status, 1) << "import takes it";
    const run_result verified = verify_archive(folder.root() / "damaged.nka");
    EXPECT_EQ(verified.err, imported.err);
    EXPECT_EQ(verified.out, "");
    EXPECT_EQ(verified.status, 1);
  }

  run_result absent = verify_archive(folder.root() / "absent.nka");
  EXPECT_EQ(absent.err, "\r            \rAn error occurred: failed to open file\n");
}

TEST_F(ArchiveVerify, AMissingDatabaseIsNamedAsTheArchivesMember) {
  const std::string databases = file_record(L"Network.db", "") + file_record(L"DeviceRedundancy.db", "");
  write_file(folder.root() / "partial.nka", archive_of("", "", databases));
  const run_result r = verify_archive(folder.root() / "partial.nka");
  EXPECT_EQ(r.err, "\r            \rAn error occurred: Database file not found: " +
                       program_path(folder.root() / "partial.nka") + ":Switching.db\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 1);
}

// Import makes a folder of a database's name when a member lies below it;
// verify then finds the database but cannot open it.
TEST_F(ArchiveVerify, AFolderWhereADatabaseShouldBeFailsAsAfterImport) {
  const std::string files = file_record(L"Network.db", "") + file_record(L"DeviceRedundancy.db", "") +
                            file_record(L"Switching.db\\inner", "x");
  write_file(folder.root() / "folder.nka", archive_of("", "", files));
  test_installation fresh;
  ASSERT_EQ(fresh.run({"import", program_path(folder.root() / "folder.nka")}).status, 0);
  const run_result expected = fresh.run({"verify"});
  ASSERT_EQ(expected.status, 1);
  ASSERT_EQ(expected.err.find("Database file not found"), std::string::npos) << expected.err;
  const run_result r = verify_archive(folder.root() / "folder.nka");
  EXPECT_EQ(r.err, expected.err);
  EXPECT_EQ(r.out, expected.out);
  EXPECT_EQ(r.status, expected.status);
}

TEST_F(ArchiveVerify, AVersionTooLongForVerifyFailsAsAfterImport) {
  const std::string version = text::to_utf16le(std::wstring(40, L'9')) + std::string(2, '\0');
  write_file(folder.root() / "long.nka", archive_of(value_record(L"version", 1, version), "", ""));
  test_installation fresh;
  ASSERT_EQ(fresh.run({"import", program_path(folder.root() / "long.nka")}).status, 0);
  const run_result expected = fresh.run({"verify"});
  EXPECT_EQ(expected.err, "An error occurred: " + system_message(win32::error_more_data) + "\n");
  const run_result r = verify_archive(folder.root() / "long.nka");
  EXPECT_EQ(r.err, "\r            \r" + expected.err);
  EXPECT_EQ(r.status, expected.status);
}

#ifndef _WIN32
TEST_F(ArchiveVerify, AnInterruptRemovesThePrivateFolder) {
  SKIP_ON_WINDOWS_TARGET("POSIX signals");
  folder.create("site", {"--sites", "30000"});
  ASSERT_EQ(folder.netkeep("site", {"export", "site.nka"}).status, 0);
  const std::string archive = (folder.root() / "site.nka").string();
  const std::string hive = "ORBENTA_REGISTRY=" + (folder.root() / "absent.reg").string();
  const std::string tmpdir = "TMPDIR="s + std::getenv("TMPDIR");
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGINT, SIG_DFL);
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, 1);
    ::dup2(quiet, 2);
    char* const argv[] = {const_cast<char*>(NETKEEP_BINARY), const_cast<char*>("verify"),
                          const_cast<char*>(archive.c_str()), nullptr};
    char* const envp[] = {const_cast<char*>(hive.c_str()), const_cast<char*>(tmpdir.c_str()), nullptr};
    ::execve(NETKEEP_BINARY, argv, envp);
    ::_exit(127);
  }
  // Interrupted once the databases are being copied or checked.
  bool copying = false;
  for (int i = 0; i < 20000 && !copying; ++i) {
    for (const std::string& made : temporary.left_over()) copying = copying || fs::exists(fs::path(made) / "data" / "Network.db");
    if (!copying) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(copying) << "the private folder was never seen";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "ended before the interrupt";
  EXPECT_EQ(temporary.left_over(), std::vector<std::string>{});
}
#endif

}  // namespace
}  // namespace netkeep::testing
