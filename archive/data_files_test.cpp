#include "archive/data_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include <unistd.h>

namespace netkeep {
namespace {

namespace fs = std::filesystem;

class DataFiles : public ::testing::Test {
 protected:
  DataFiles() : data_(fs::temp_directory_path() / ("netkeep-data-files-" + std::to_string(::getpid()))) {
    fs::remove_all(data_);
    fs::create_directories(data_);
  }
  ~DataFiles() override { fs::remove_all(data_); }

  void touch(const std::string& relative) {
    fs::create_directories((data_ / relative).parent_path());
    std::ofstream(data_ / relative) << relative;
  }

  std::vector<std::wstring> names(const std::vector<std::wstring_view>& extensions) {
    std::vector<std::wstring> found;
    for (const data_file& file : list_data_files(data_, extensions)) {
      EXPECT_TRUE(fs::is_regular_file(file.path)) << file.path;
      found.push_back(file.archive_name);
    }
    return found;
  }

  fs::path data_;
};

TEST_F(DataFiles, RootFilesByExactExtensionThenExportedFoldersDepthFirstInOrdinalOrder) {
  for (const char* file : {"b.db", "a.db", "Network.db", "Network.db-journal", "notes.txt", "upper.DB",
                           "sub/inner.db", "Switching/z.bin", "Switching/b.txt", "Switching/C.txt",
                           "Switching/a/inner.txt", "Switching/a/deeper/x", "PIM/p.txt", "Other/o.db"}) {
    touch(file);
  }
  fs::create_directories(data_ / "folder.db");
  fs::create_directories(data_ / "Switching/empty");

  EXPECT_EQ(names({L".db"}),
            (std::vector<std::wstring>{L"Network.db", L"a.db", L"b.db", L"Switching\\C.txt",
                                       L"Switching\\a\\deeper\\x", L"Switching\\a\\inner.txt",
                                       L"Switching\\b.txt", L"Switching\\z.bin", L"PIM\\p.txt"}));
  EXPECT_EQ(names({L".db", L".db-journal"}),
            (std::vector<std::wstring>{L"Network.db", L"Network.db-journal", L"a.db", L"b.db", L"Switching\\C.txt",
                                       L"Switching\\a\\deeper\\x", L"Switching\\a\\inner.txt",
                                       L"Switching\\b.txt", L"Switching\\z.bin", L"PIM\\p.txt"}));
}

TEST_F(DataFiles, MissingFoldersContributeNothing) {
  EXPECT_TRUE(names({L".db"}).empty());
  touch("PIM/only.txt");
  EXPECT_EQ(names({L".db"}), std::vector<std::wstring>{L"PIM\\only.txt"});
  // A file where a folder is expected is not a folder to list.
  std::ofstream(data_ / "Switching") << "not a folder";
  EXPECT_EQ(names({L".db"}), std::vector<std::wstring>{L"PIM\\only.txt"});
  fs::remove_all(data_);
  EXPECT_TRUE(names({L".db"}).empty());
}

// Symbolic links and permission bits as POSIX file systems have them; the
// MinGW runtime sees neither.
#ifndef _WIN32
TEST_F(DataFiles, LinkedFoldersAreNotFollowed) {
  touch("outside/precious.txt");
  touch("Switching/own.txt");
  fs::create_directory_symlink(data_ / "outside", data_ / "Switching/link");
  EXPECT_EQ(names({L".db"}), std::vector<std::wstring>{L"Switching\\own.txt"});
}

TEST_F(DataFiles, AFolderThatCannotBeListedThrows) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not apply to root";
  touch("Switching/locked/file");
  fs::permissions(data_ / "Switching/locked", fs::perms::none);
  EXPECT_THROW(list_data_files(data_, {L".db"}), fs::filesystem_error);
  fs::permissions(data_ / "Switching/locked", fs::perms::owner_all);
}
#endif  // _WIN32

}  // namespace
}  // namespace netkeep
