// `import` end to end: round trips between installations, repeated imports,
// what an import leaves alone, and damaged archives that change nothing.

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "tests/support/archive_bytes.h"
#include "tests/support/folder_snapshot.h"
#include "tests/support/hive_listing.h"
#include "tests/support/process_control.h"
#include "tests/support/sample_configuration.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string cleared = "\r            \r";

void put(const test_installation& installation, const std::string& relative, const std::string& bytes) {
  const fs::path path = installation.data_directory() / relative;
  fs::create_directories(path.parent_path());
  write_file(path, bytes);
}

#ifndef _WIN32
// Runs `import <archive>` in `installation` while this process writes
// `bytes` into a pipe: the program's standard input when `archive` is
// "/dev/stdin", otherwise the FIFO that is made at `archive`.
run_result import_from_pipe(const test_installation& installation, const std::string& archive,
                            const std::string& bytes) {
  int ends[2] = {-1, -1};  // close-on-exec: the program holds only its standard input
  const bool on_stdin = archive == "/dev/stdin";
  if (on_stdin ? ::pipe2(ends, O_CLOEXEC) != 0 : ::mkfifo(archive.c_str(), 0600) != 0) throw std::runtime_error("no pipe");
  const int saved_stdin = ::fcntl(0, F_DUPFD_CLOEXEC, 0);
  if (on_stdin) ::dup2(ends[0], 0);
  running_netkeep process = start_netkeep(installation, {"import", archive});
  ::dup2(saved_stdin, 0);
  ::close(saved_stdin);
  if (on_stdin) ::close(ends[0]);
  const int in = on_stdin ? ends[1] : ::open(archive.c_str(), O_WRONLY);
  // A program that stops reading early makes the write fail, not this
  // process die.
  void (*const previous)(int) = ::signal(SIGPIPE, SIG_IGN);
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t written = ::write(in, bytes.data() + done, bytes.size() - done);
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  ::close(in);
  ::signal(SIGPIPE, previous);
  if (!on_stdin) ::unlink(archive.c_str());
  return process.wait();
}
#endif

class ImportCommand : public ::testing::Test {
 protected:
  ImportCommand() {
    source.set_registry(sample_configuration());
    source.create_databases();
    source.sql("Network.db", "CREATE TABLE extra(x); INSERT INTO extra VALUES ('network');");
    put(source, "Switching/a/b.txt", "b");
    put(source, "Switching/c.txt", "c");
    put(source, "PIM/p.bin", "\0p"s);
  }

  // Exports the source installation and returns the archive's path.
  fs::path export_source() {
    run_result r = source.run({"export", "source.nka"});
    EXPECT_EQ(r.status, 0) << r.err;
    return source.root() / "source.nka";
  }

  run_result import_into_target(const fs::path& archive) { return target.run({"import", program_path(archive)}); }

  // Imports `bytes` written to `archive`: the import must fail with
  // `message` and leave the target's registry and files as they were.
  void expect_refused(const fs::path& archive, const std::string& bytes, const std::string& message,
                      const std::string& registry_before, const std::map<std::string, std::string>& files_before) {
    write_file(archive, bytes);
    run_result r = import_into_target(archive);
    EXPECT_EQ(r.err, cleared + "An error occurred: " + message + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(hive_listing(target), registry_before) << message;
    EXPECT_EQ(folder_snapshot(target.data_directory()), files_before) << message;
  }

  test_installation source;
  test_installation target;
};

TEST_F(ImportCommand, AnArchiveImportedIntoAnEmptyInstallationExportsToTheSameBytes) {
  const fs::path archive = export_source();
  run_result r = import_into_target(archive);
  EXPECT_EQ(r.err, cleared);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 0);

  ASSERT_EQ(target.run({"export", "again.nka"}).status, 0);
  EXPECT_EQ(read_file(target.root() / "again.nka"), read_file(archive));
  EXPECT_EQ(folder_snapshot(target.data_directory()), folder_snapshot(source.data_directory()));
  EXPECT_EQ(target.query("Network.db", "SELECT x FROM extra"), std::vector<std::string>{"network"});
  // The target's own installation path stays.
  const std::string own_path = hex_bytes(sz_data(text::from_utf8(target.install_path())));
  EXPECT_NE(hive_listing(target).find("\npath 1 " + own_path + "\n"), std::string::npos);
}

TEST_F(ImportCommand, ImportingTwiceEqualsImportingOnceAndKeepsWhatTheArchiveDoesNotMention) {
  target.set_registry(section("") + "\n\"Mine\"=\"kept\"\n\n" + section("Local") + "\n\"v\"=dword:00000001\n\n" +
                      section("KAT") + "\n\"LocalAddress\"=\"target address\"\n\"Port\"=dword:00000099\n");
  target.create_databases();
  put(target, "Network.db-journal", "journal");
  put(target, "notes.txt", "notes");
  put(target, "Switching/own.txt", "own");
  put(target, "Switching/c.txt", "old c");
  const std::string before = hive_listing(target);

  const fs::path archive = export_source();
  ASSERT_EQ(import_into_target(archive).status, 0);
  const std::string once = hive_listing(target);
  const auto files_once = folder_snapshot(target.data_directory());

  ASSERT_EQ(import_into_target(archive).status, 0);
  EXPECT_EQ(hive_listing(target), once);
  EXPECT_EQ(folder_snapshot(target.data_directory()), files_once);

  EXPECT_NE(once.find("Mine 1 "), std::string::npos);
  EXPECT_NE(once.find("[Local]\nv 4 01000000\n"), std::string::npos);
  EXPECT_NE(once.find("[KAT]\nLocalAddress 1 " + hex_bytes(sz_data(L"target address")) + "\nPort 4 10000000\n"),
            std::string::npos)
      << once;
  EXPECT_NE(before, once);
  EXPECT_EQ(files_once.count("Network.db-journal"), 0u) << "the journal of the replaced database";
  EXPECT_EQ(files_once.at("notes.txt"), "notes");
  EXPECT_EQ(files_once.at("Switching/own.txt"), "own");
  EXPECT_EQ(files_once.at("Switching/c.txt"), "c");
  EXPECT_EQ(files_once.at("Switching/a/b.txt"), "b");
  EXPECT_EQ(files_once.at("Network.db"), read_file(source.database("Network.db")));
}

TEST_F(ImportCommand, ReadsAnArchiveOfVersionZero) {
  const std::string archive = archive_header(0) +
                              // no value list of the installation key
                              archive_name(L"Net") + value_record(L"Name", 1, sz_data(L"n")) + end_of_list() +
                              /**/ archive_name(L"Deep") + end_of_list() + end_of_list() +
                              end_of_list() + end_of_list() + file_record(L"Switching\\new\\f.txt", "f") +
                              end_of_list();
  write_file(target.root() / "old.nka", archive);
  ASSERT_EQ(import_into_target(target.root() / "old.nka").status, 0);
  EXPECT_EQ(hive_listing(target).substr(hive_listing(target).find("[Net]")),
            "[Net]\nName 1 6e000000\n[Net\\Deep]\n");
  EXPECT_EQ(read_file(target.data_directory() / "Switching/new/f.txt"), "f");
}

TEST_F(ImportCommand, ADamagedArchiveChangesNothing) {
  target.set_registry(section("Local") + "\n\"v\"=dword:00000001\n");
  target.create_databases();
  const std::string registry_before = hive_listing(target);
  const auto files_before = folder_snapshot(target.data_directory());

  const std::string archive = read_file(export_source());
  const std::size_t first_file = archive.find(archive_name(L"DeviceRedundancy.db"));
  ASSERT_NE(first_file, std::string::npos);
  const std::size_t first_contents = first_file + archive_name(L"DeviceRedundancy.db").size() + 4;
  struct {
    std::string bytes;
    std::string message;
  } cases[] = {
      {archive.substr(0, 5), "failed to read from file"},
      {archive.substr(0, 12), "failed to read from file"},
      {archive.substr(0, first_file / 2), "failed to read from file"},
      {archive.substr(0, first_file), "failed to read from file"},
      {archive.substr(0, first_contents + 100), "unexpected"},
      {archive.substr(0, archive.size() - 2), "failed to read from file"},
      {"NOTANARC" + archive.substr(8), "The specified file is not an exported database."},
      {archive_header(3) + archive.substr(12), "Unsupported netkeep archive format."},
      {archive.substr(0, archive.size() - 2) + file_record(L"..\\escape", "x") + end_of_list(),
       "unsafe file name in archive: ..\\escape"},
  };
  for (const auto& c : cases) {
    expect_refused(target.root() / "damaged.nka", c.bytes, c.message, registry_before, files_before);
#ifndef _WIN32
    // Read from a pipe, which cannot be read twice, the archive is checked
    // in full first all the same.
    if (windows_target()) continue;
    for (const std::string& pipe : {"/dev/stdin"s, (target.root() / "fifo").string()}) {
      run_result piped = import_from_pipe(target, pipe, c.bytes);
      EXPECT_EQ(piped.err, cleared + "An error occurred: " + c.message + "\n") << pipe;
      EXPECT_EQ(piped.status, 1);
      EXPECT_EQ(hive_listing(target), registry_before) << c.message << pipe;
      EXPECT_EQ(folder_snapshot(target.data_directory()), files_before) << c.message << pipe;
    }
#endif
  }
}

#ifndef _WIN32
TEST_F(ImportCommand, AnArchiveIsReadFromStandardInputOrAFifo) {
  SKIP_ON_WINDOWS_TARGET("POSIX pipes");
  const std::string archive = read_file(export_source());
  for (const std::string& pipe : {"/dev/stdin"s, (source.root() / "fifo").string()}) {
    SCOPED_TRACE(pipe);
    test_installation piped;
    run_result r = import_from_pipe(piped, pipe, archive);
    EXPECT_EQ(r.err, cleared);
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(piped.run({"export", "again.nka"}).status, 0);
    EXPECT_EQ(read_file(piped.root() / "again.nka"), archive);
  }
}
#endif

// An archive of the installation key's values, its subkeys (key records)
// and its files (file records).
std::string archive_of(const std::string& values, const std::string& keys, const std::string& files) {
  return archive_header() + values + end_of_list() + keys + end_of_list() + files + end_of_list();
}

std::string key_record(const std::wstring& name, const std::string& values, const std::string& subkeys) {
  return archive_name(name) + values + end_of_list() + subkeys + end_of_list();
}

// `levels` keys named "k", each the only subkey of the one before.
std::string nested_keys(std::size_t levels) {
  std::string keys;
  for (std::size_t i = 0; i < levels; ++i) keys = key_record(L"k", "", keys);
  return keys;
}

TEST_F(ImportCommand, AnArchiveThatTheRegistryOrTheFileSystemWouldRefuseChangesNothing) {
  target.set_registry(section("Local") + "\n\"v\"=dword:00000001\n");
  target.create_databases();
  put(target, "Switching/existing", "e");
  const std::string registry_before = hive_listing(target);
  const auto files_before = folder_snapshot(target.data_directory());

  // Every archive sets a value and replaces Network.db before its fault.
  const std::string value = value_record(L"imported", 4, u32le(7));
  const std::string database = file_record(L"Network.db", "new");
  const std::wstring long_component = L"Switching\\" + std::wstring(130, 0xE9);  // 260 bytes of UTF-8
  struct {
    std::string bytes;
    std::string message;
    bool linux_only;  // Windows takes such names (Wine's own file system aside)
  } cases[] = {
      {archive_of(value, key_record(L"line\nbreak", "", ""), database),
       "invalid registry name in archive: line\nbreak", true},
      {archive_of(value, key_record(L"ok", value_record(L"lone\xDC00", 1, sz_data(L"x")), ""), database),
       "invalid registry name in archive: lone\xEF\xBF\xBD", true},
      {archive_of(value, key_record(L"\\leading", "", ""), database), "invalid registry name in archive: \\leading",
       false},
      {archive_of(value, key_record(L"trailing\\", "", ""), database),
       "invalid registry name in archive: trailing\\", false},
      {archive_of(value, key_record(L"dou\\\\ble", "", ""), database),
       "invalid registry name in archive: dou\\\\ble", false},
      // HKEY_LOCAL_MACHINE, the four names of the installation key and 508.
      {archive_of(value, nested_keys(508), database), "registry key nested too deeply in archive: k", false},
      {archive_of(value, "", database + file_record(long_component, "x")),
       "invalid file name in archive: " + text::to_utf8(long_component), true},
      {archive_of(value, "", database + file_record(L"Switching\\f", "x") + file_record(L"Switching\\f\\g", "x")),
       "invalid file name in archive: Switching\\f\\g", false},
      {archive_of(value, "", database + file_record(L"Switching\\existing\\g", "x")),
       "invalid file name in archive: Switching\\existing\\g", false},
      {archive_of(value, "", database + file_record(L"Switching", "x")), "failed to open file", false},
  };
  for (const auto& c : cases) {
    if (c.linux_only && windows_target()) continue;
    expect_refused(target.root() / "refused.nka", c.bytes, c.message, registry_before, files_before);
  }

  // As deep as the registry allows: imported, and every command still reads
  // the hive.
  write_file(target.root() / "deep.nka", archive_of(value, nested_keys(507), ""));
  run_result deep = import_into_target(target.root() / "deep.nka");
  EXPECT_EQ(deep.status, 0) << deep.err;
  run_result after = target.run({"export", "after.nka"});
  EXPECT_EQ(after.status, 0) << after.err;
}

TEST_F(ImportCommand, FileNameProblems) {
  run_result missing = target.run({"import"});
  EXPECT_EQ(missing.err, "An error occurred: expected filename\n");
  EXPECT_EQ(missing.status, 1);

  run_result absent = target.run({"import", "absent.nka"});
  EXPECT_EQ(absent.err, cleared + "An error occurred: failed to open file\n");
  EXPECT_EQ(absent.status, 1);
}

}  // namespace
}  // namespace netkeep::testing
