// `export` end to end: what an archive holds, byte by byte, and what a
// failing export leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/win32/error.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/sample_configuration.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string error_prefix = "\r            \rAn error occurred: ";

class Export : public ::testing::Test {
 protected:
  fs::path archive() const { return installation.root() / "config.nka"; }

  void put(const std::string& relative, const std::string& bytes) const {
    const fs::path path = installation.data_directory() / relative;
    fs::create_directories(path.parent_path());
    write_file(path, bytes);
  }

  // The names in the installation's folder besides the hive and install/.
  std::vector<std::string> root_entries() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(installation.root())) {
      const std::string name = entry.path().filename().string();
      if (name != "install" && name.rfind("registry.reg", 0) != 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  test_installation installation;
};

// The registry part of the archive of sample_configuration().
std::string sample_registry_records() {
  return value_records({{L"version", 1, sz_data(L"3.0")}, {L"Extra", 4, u32le(7)}}) + end_of_list() +
         // Bandwidth, its default value left out
         archive_name(L"Bandwidth") + value_record(L"Count", 4, u32le(2)) + end_of_list() +
         /**/ archive_name(L"Satellites") + end_of_list() +
         /*    */ archive_name(L"1") +
         /*    */ value_records({{L"Name", 1, sz_data(L"Sat One")},
         /*    */                {L"Blob", 3, "\x01\x02\x03"},
         /*    */                {L"Multi", 7, "a\0\0\0\0\0"s},
         /*    */                {L"Wide", 11, u32le(1) + u32le(0)},
         /*    */                {L"Expand", 2, "%\0\0\0"s}}) +
         /*    */ end_of_list() + end_of_list() +
         /**/ end_of_list() +
         end_of_list() +
         // KAT without LocalAddress
         archive_name(L"KAT") + value_record(L"Port", 4, u32le(16)) + end_of_list() +
         /**/ archive_name(L"Sub") + value_record(L"x", 1, sz_data(L"y")) + end_of_list() + end_of_list() +
         end_of_list() +
         // A "System" below the top level is exported.
         archive_name(L"Network") + end_of_list() +
         /**/ archive_name(L"System") + value_record(L"Kept", 1, sz_data(L"deep system key")) + end_of_list() +
         /**/ end_of_list() +
         end_of_list() +
         // System and WebServices are left out.
         end_of_list();
}

TEST_F(Export, WritesTheRegistryAndTheExportedFilesByteForByte) {
  installation.set_registry(sample_configuration(true));
  installation.create_databases();
  installation.sql("Network.db", "CREATE TABLE extra(x); INSERT INTO extra VALUES (1), (2);");
  put("Network.db-journal", "journal");
  put("notes.txt", "notes");
  put("upper.DB", "not exactly .db");
  put("Other/o.db", "not an exported folder");
  put("Switching/c.txt", "c");
  put("Switching/a/b.txt", "b");
  put("Switching/a/empty", "");
  put("PIM/p.bin", "\0p"s);

  run_result r = installation.run({"export", "config.nka"});
  EXPECT_EQ(r.err, "\r            \r");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 0);

  const std::string expected =
      archive_header(2) + sample_registry_records() +
      file_record(L"DeviceRedundancy.db", read_file(installation.database("DeviceRedundancy.db"))) +
      file_record(L"Network.db", read_file(installation.database("Network.db"))) +
      file_record(L"Switching.db", read_file(installation.database("Switching.db"))) +
      file_record(L"Switching\\a\\b.txt", "b") + file_record(L"Switching\\a\\empty", "") +
      file_record(L"Switching\\c.txt", "c") + file_record(L"PIM\\p.bin", "\0p"s) + end_of_list();
  EXPECT_EQ(read_file(archive()), expected);
  EXPECT_EQ(root_entries(), std::vector<std::string>{"config.nka"}) << "no temporary file is left";
}

TEST_F(Export, AnInstallationWithOnlyItsOwnValues) {
  run_result r = installation.run({"export", "config.nka"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(archive()),
            archive_header(2) + value_record(L"version", 1, sz_data(L"3.0")) + end_of_list() + end_of_list() +
                end_of_list());
}

TEST_F(Export, ExcludedKeysMatchAtTheTopLevelIgnoringCase) {
  installation.set_registry(section("system") + "\n\"a\"=\"1\"\n\n" + section("WEBSERVICES\\Deep") + "\n\n" +
                            section("Systems") + "\n\n" + section("kat") + "\n\"localaddress\"=\"x\"\n");
  run_result r = installation.run({"export", "config.nka"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(archive()), archive_header(2) + value_record(L"version", 1, sz_data(L"3.0")) + end_of_list() +
                                      archive_name(L"kat") + end_of_list() + end_of_list() +
                                      archive_name(L"Systems") + end_of_list() + end_of_list() + end_of_list() +
                                      end_of_list());
}

TEST_F(Export, ReplacesAnExistingArchiveCompletely) {
  installation.set_registry(sample_configuration());
  write_file(archive(), std::string(100000, 'x'));
  ASSERT_EQ(installation.run({"export", "config.nka"}).status, 0);
  EXPECT_EQ(read_file(archive()), archive_header(2) + sample_registry_records() + end_of_list());
}

TEST_F(Export, AFailedExportLeavesThePreviousArchiveAsItWas) {
  const std::string previous = "the previous archive";
  write_file(archive(), previous);

  // Value data beyond the 1024-byte buffer.
  std::string big = "\"Big\"=hex:00";
  for (int i = 1; i < 1025; ++i) big += ",00";
  installation.set_registry(sample_configuration() + "\n" + section("Large") + "\n" + big + "\n");
  run_result r = installation.run({"export", "config.nka"});
  EXPECT_EQ(r.err, error_prefix + system_message(win32::error_more_data) + "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(archive()), previous);
  EXPECT_EQ(root_entries(), std::vector<std::string>{"config.nka"});

  // Exactly 1024 bytes are exported.
  installation.set_registry(section("Large") + "\n" + big.substr(0, big.size() - 3) + "\n");
  ASSERT_EQ(installation.run({"export", "config.nka"}).status, 0);
  EXPECT_NE(read_file(archive()).find(u32le(1024) + std::string(1024, '\0')), std::string::npos);
}

TEST_F(Export, APreservedValueIsLeftOutWhateverTheSizeOfItsData) {
  std::string big = "\"LocalAddress\"=hex:00";
  for (int i = 1; i < 2000; ++i) big += ",00";
  installation.set_registry(section("KAT") + "\n" + big + "\n\"Other\"=\"x\"\n");
  run_result r = installation.run({"export", "config.nka"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string written = read_file(archive());
  EXPECT_NE(written.find(archive_name(L"KAT") + value_record(L"Other", 1, sz_data(L"x")) + end_of_list()),
            std::string::npos);
  EXPECT_EQ(written.find(archive_name(L"LocalAddress")), std::string::npos);
}

TEST_F(Export, AFileOfTwoGigabytesOrMoreIsRefused) {
  write_file(archive(), "old");
  put("Switching/huge.bin", "");
  fs::resize_file(installation.data_directory() / "Switching/huge.bin", std::uintmax_t{1} << 31);  // sparse
  run_result r = installation.run({"export", "config.nka"});
  EXPECT_EQ(r.err, error_prefix + "file too large to export: Switching\\huge.bin\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(archive()), "old");
  EXPECT_EQ(root_entries(), std::vector<std::string>{"config.nka"});
}

TEST_F(Export, AFileWhoseNameImportWouldNotRestoreIsRefusedBeforeAnythingIsWritten) {
  // POSIX file names may hold backslashes, which import reads as folder
  // separators: ..\evil would lead out of the data directory, a\b would
  // come back as the file b in a folder a.
  SKIP_ON_WINDOWS_TARGET("a backslash in a file name");
  write_file(archive(), "old");
  for (const std::string name : {"Switching/..\\evil", "PIM/sub/a\\b", "\\evil.db"}) {
    SCOPED_TRACE(name);
    put(name, "contents");
    run_result r = installation.run({"export", "config.nka"});
    std::string shown = name;
    std::replace(shown.begin(), shown.end(), '/', '\\');
    EXPECT_EQ(r.err, error_prefix + "file name that import would refuse, not exported: " + shown + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(archive()), "old");
    EXPECT_EQ(root_entries(), std::vector<std::string>{"config.nka"});
    fs::remove(installation.data_directory() / name);
  }
}

TEST_F(Export, AnArchiveNameThatIsNotUtf8IsTheFileOfThoseBytes) {
  SKIP_ON_WINDOWS_TARGET("POSIX file names are bytes");
  installation.set_registry(sample_configuration());
  const std::string name = "a\xff\xc3.nka";
  ASSERT_EQ(installation.run({"export", name}).status, 0);
  EXPECT_EQ(root_entries(), std::vector<std::string>{name});
  EXPECT_EQ(read_file(installation.root() / name), archive_header(2) + sample_registry_records() + end_of_list());
  run_result imported = installation.run({"import", name});
  EXPECT_EQ(imported.status, 0) << imported.err;
}

TEST_F(Export, FileNameProblems) {
  run_result missing = installation.run({"export"});
  EXPECT_EQ(missing.err, "An error occurred: expected filename\n");
  EXPECT_EQ(missing.status, 1);

  run_result no_folder = installation.run({"export", "no/such/folder/config.nka"});
  EXPECT_EQ(no_folder.err, error_prefix + "failed to open file\n");
  EXPECT_EQ(no_folder.status, 1);

  fs::create_directory(installation.root() / "folder");
  run_result folder = installation.run({"export", "folder"});
  EXPECT_EQ(folder.err, error_prefix + "failed to open file\n");
  EXPECT_EQ(root_entries(), std::vector<std::string>{"folder"});
  EXPECT_TRUE(fs::is_empty(installation.root() / "folder"));
}

}  // namespace
}  // namespace netkeep::testing
