// Import of archives whose registry part is empty or refused, so that no
// registry call is made: the file procedures and the checks that run before
// anything is changed.

#include "archive/import.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/archive_bytes.h"

namespace netkeep::archive {
namespace {

namespace fs = std::filesystem;
using namespace netkeep::testing;
using namespace std::string_literals;

// Every file below a folder (relative path with '/' -> contents) and every
// folder (relative path -> "<folder>").
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> found;
  if (!fs::exists(root)) return found;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).generic_string();
    if (entry.is_directory()) {
      found[relative] = "<folder>";
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      found[relative] = bytes.str();
    }
  }
  return found;
}

class Import : public ::testing::Test {
 protected:
  Import() : root_(fs::temp_directory_path() / ("netkeep-import-" + std::to_string(::getpid()))) {
    fs::remove_all(root_);
    fs::create_directories(data());
  }
  ~Import() override { fs::remove_all(root_); }

  fs::path data() const { return root_ / "data"; }
  fs::path archive_file() const { return root_ / "archive.nka"; }

  void put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // Imports `bytes` with no installation key (none of these archives may
  // reach the registry) and returns the error message, or "" on success.
  std::string import(const std::string& bytes) {
    put(archive_file(), bytes);
    try {
      import_installation(nullptr, text::from_path(data()), text::from_path(archive_file()));
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }

  fs::path root_;
};

std::string empty_registry() { return end_of_list() + end_of_list(); }

TEST_F(Import, RestoresFilesCreatingFoldersReplacingFilesAndKeepingTheRest) {
  put(data() / "Network.db", "old network");
  put(data() / "Network.db-journal", "journal");
  put(data() / "Switching/kept.txt", "kept");
  const std::string big(0x40000 * 2 + 3, 'z');
  const std::string archive = archive_header() + empty_registry() + file_record(L"Network.db", "new network") +
                              file_record(L"Switching\\deep\\er\\file.bin", "\0\x01\x02"s) +
                              file_record(L"PIM\\empty", "") + file_record(L"PIM\\big", big) + end_of_list() +
                              "bytes after the end are never read";

  ASSERT_EQ(import(archive), "");
  const std::map<std::string, std::string> expected = {
      {"Network.db", "new network"},
      {"PIM", "<folder>"},
      {"PIM/big", big},
      {"PIM/empty", ""},
      {"Switching", "<folder>"},
      {"Switching/deep", "<folder>"},
      {"Switching/deep/er", "<folder>"},
      {"Switching/deep/er/file.bin", "\0\x01\x02"s},
      {"Switching/kept.txt", "kept"},
  };
  EXPECT_EQ(snapshot(data()), expected) << "no temporary file is left behind, nor the replaced database's journal";

  ASSERT_EQ(import(archive), "");
  EXPECT_EQ(snapshot(data()), expected) << "importing twice equals importing once";
}

TEST_F(Import, ReadsVersionZeroAndOneArchives) {
  ASSERT_EQ(import(archive_header(0) + end_of_list() + file_record(L"v0.db", "zero") + end_of_list()), "");
  ASSERT_EQ(import(archive_header(1) + empty_registry() + file_record(L"v1.db", "one") + end_of_list()), "");
  EXPECT_EQ(snapshot(data()), (std::map<std::string, std::string>{{"v0.db", "zero"}, {"v1.db", "one"}}));
}

TEST_F(Import, ArchivesThatCannotBeOpenedOrAreNotArchives) {
  try {
    import_installation(nullptr, text::from_path(data()), text::from_path(root_ / "missing.nka"));
    ADD_FAILURE() << "a missing archive was imported";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "failed to open file");
  }
  try {
    import_installation(nullptr, text::from_path(data()), text::from_path(data()));
    ADD_FAILURE() << "a folder was imported";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "failed to open file");
  }
  EXPECT_EQ(import(""), "failed to read from file");
  EXPECT_EQ(import("ORBDBCP"), "failed to read from file");
  EXPECT_EQ(import("SQLite format 3\0"s), "The specified file is not an exported database.");
  EXPECT_EQ(import(archive_header(3) + empty_registry() + end_of_list()), "Unsupported netkeep archive format.");
  EXPECT_TRUE(snapshot(data()).empty());
}

// An archive whose every part can be cut: values and keys in the registry
// part (refused before the registry is reached) and two files.
struct sample_archive {
  std::string bytes;
  // Byte ranges [first, last) holding file contents.
  std::vector<std::pair<std::size_t, std::size_t>> contents;
};

sample_archive full_sample() {
  sample_archive sample;
  std::string& b = sample.bytes;
  b = archive_header() + value_record(L"version", 1, sz_data(L"3.0")) + end_of_list();
  b += archive_name(L"Bandwidth") + value_record(L"Count", 4, u32le(2)) + end_of_list();
  b += archive_name(L"Satellites") + end_of_list() + end_of_list();  // no values, no subkeys
  b += end_of_list() + end_of_list();
  b += archive_name(L"Network.db") + u32le(5);
  sample.contents.push_back({b.size(), b.size() + 5});
  b += "12345";
  b += archive_name(L"Switching\\a.txt") + u32le(3);
  sample.contents.push_back({b.size(), b.size() + 3});
  b += "abc";
  b += end_of_list();
  return sample;
}

TEST_F(Import, AnArchiveCutAnywhereChangesNothing) {
  put(data() / "Network.db", "original");
  const auto before = snapshot(data());
  const sample_archive sample = full_sample();
  for (std::size_t length = 0; length < sample.bytes.size(); ++length) {
    bool inside_contents = false;
    for (auto [first, last] : sample.contents) inside_contents |= length > first && length < last;
    // A file cut right at the start of its contents is short of them too.
    for (auto [first, last] : sample.contents) inside_contents |= length == first;
    const std::string expected = inside_contents ? "unexpected" : "failed to read from file";
    EXPECT_EQ(import(sample.bytes.substr(0, length)), expected) << "cut after " << length << " bytes";
    EXPECT_EQ(snapshot(data()), before) << "cut after " << length << " bytes";
  }
}

TEST_F(Import, LimitsAreCheckedBeforeAnythingIsChanged) {
  const std::string file = file_record(L"first.db", "would be written first");
  struct {
    std::string registry;
    std::string files;
    std::string message;
  } cases[] = {
      {value_record(std::wstring(256, L'v'), 1, "") + end_of_list() + end_of_list(), "", "string buffer overflow"},
      {end_of_list() + archive_name(std::wstring(256, L'k')) + end_of_list() + end_of_list() + end_of_list(), "",
       "string buffer overflow"},
      {value_record(L"big", 3, std::string(0x40000, 'x')) + end_of_list() + end_of_list(), "",
       "unexpectedly large registry value >16MB"},
      {empty_registry(), file + file_record(std::wstring(260, L'f'), "x") + end_of_list(), "string buffer overflow"},
      {empty_registry(), file + u16le(0xFFFF), "string buffer overflow"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(import(archive_header() + c.registry + c.files), c.message);
    EXPECT_TRUE(snapshot(data()).empty());
  }
  // A file name just inside the limit is read.
  const std::wstring longest_name = L"Switching\\" + std::wstring(249, L'f');
  ASSERT_EQ(import(archive_header() + empty_registry() + file_record(longest_name, "x") + end_of_list()), "");
  EXPECT_EQ(snapshot(data() / "Switching"), (std::map<std::string, std::string>{{std::string(249, 'f'), "x"}}));
}

// The registry part is checked as it is read, yet its refusals come after
// every error of reading and before those of the file names, and the first
// refused name is the one named.
TEST_F(Import, ARegistryRefusalComesAfterReadErrorsAndBeforeFileNameErrors) {
  const std::string refused_key = archive_name(L"bad\\\\key") + end_of_list() + end_of_list();
  const std::string later_refused = archive_name(L"\\later") + end_of_list() + end_of_list();
  const std::string registry = end_of_list() + refused_key + later_refused + end_of_list();
  const std::string file = file_record(L"Network.db", "x");
  EXPECT_EQ(import(archive_header() + registry + file + end_of_list()), "invalid registry name in archive: bad\\\\key");
  EXPECT_EQ(import(archive_header() + registry + file), "failed to read from file");
  EXPECT_EQ(import(archive_header() + registry + file + archive_name(L"f") + u32le(9) + "short" + end_of_list()),
            "unexpected");
  EXPECT_EQ(import(archive_header() + registry + file + file_record(L"..\\out", "x") + end_of_list()),
            "unsafe file name in archive: ..\\out");
  EXPECT_EQ(import(archive_header() + registry + file_record(std::wstring(300, L'f'), "x") + end_of_list()),
            "string buffer overflow");
  // A file that is also a folder is refused only after the registry part.
  EXPECT_EQ(import(archive_header() + registry + file + file_record(L"Network.db\\x", "y") + end_of_list()),
            "invalid registry name in archive: bad\\\\key");
  EXPECT_TRUE(snapshot(data()).empty());
}

TEST_F(Import, RefusesFileNamesThatLeaveTheDataDirectory) {
  put(root_ / "outside.txt", "precious");
  for (const std::wstring& name :
       std::vector<std::wstring>{L"..\\outside.txt", L"\\tmp\\x", L"/tmp/x", L"C:\\x", L"c:x",
                                 L"Switching\\..\\..\\outside.txt", L"Switching/../../outside.txt", L"a\\\\b", L"a\\.\\b", L".", L"a\\", L"PIM\\..", std::wstring(L"a\0b", 3)}) {
    const std::string archive =
        archive_header() + empty_registry() + file_record(L"first.db", "x") + file_record(name, "evil") + end_of_list();
    // (A message ends at a null character.)
    EXPECT_EQ(import(archive), ("unsafe file name in archive: " + text::to_utf8(name)).c_str());
    EXPECT_TRUE(snapshot(data()).empty()) << text::to_utf8(name);
    std::ifstream outside(root_ / "outside.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(outside), {}), "precious");
  }
  ASSERT_EQ(import(archive_header() + empty_registry() + file_record(L"..data\\.x.", "fine") + end_of_list()), "");
  EXPECT_EQ(snapshot(data() / "..data"), (std::map<std::string, std::string>{{".x.", "fine"}}));
}

TEST_F(Import, AFileThatCannotBeCreatedFailsToOpen) {
  fs::create_directories(data() / "Network.db");
  EXPECT_EQ(import(archive_header() + empty_registry() + file_record(L"Network.db", "x") + end_of_list()),
            "failed to open file");
  EXPECT_TRUE(fs::is_directory(data() / "Network.db"));
  EXPECT_EQ(snapshot(data()).size(), 1u) << "no temporary file is left behind";
}

}  // namespace
}  // namespace netkeep::archive
