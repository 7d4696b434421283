#include "platform/files/replacement_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace netkeep::files {
namespace {

namespace fs = std::filesystem;

TEST(TemporaryFileNames, AreRecognisedByTheirWholeForm) {
  for (const wchar_t* name : {L"netkeep-0123456789abcdef.tmp", L"netkeep-4242-0.tmp", L"netkeep-7-12.probe"}) {
    EXPECT_TRUE(is_temporary_file_name(name)) << name;
  }
  for (const wchar_t* name :
       {L"netkeep-0123456789ABCDEF.tmp", L"netkeep-0123456789abcde.tmp", L"netkeep-0123456789abcdef.probe",
        L"netkeep-4242.tmp", L"netkeep--0.tmp", L"netkeep-1-.tmp", L"netkeep-1-2-3.tmp", L"netkeep-1-2.tmp.bak",
        L"my-netkeep-1-2.tmp", L"netkeep-notes.tmp", L"Network.db"}) {
    EXPECT_FALSE(is_temporary_file_name(name)) << name;
  }
}

class Replacement : public ::testing::Test {
 protected:
  Replacement()
      : folder_(fs::temp_directory_path() /
                (std::string("replacement-") + ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    write(target(), "old");
  }
  ~Replacement() override { fs::remove_all(folder_); }

  fs::path target() const { return folder_ / "target.db"; }
  static void write(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }
  static std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::set<std::string> names() const {
    std::set<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) found.insert(entry.path().filename().string());
    return found;
  }

  fs::path folder_;
};

TEST_F(Replacement, TheTargetChangesOnlyAtTheCommitAndNoTemporaryFileStays) {
  {
    replacement_file abandoned(target());
    abandoned.stream() << std::string(200000, 'a');  // past the buffer
    abandoned.finish();
    EXPECT_EQ(names().size(), 2u);
    for (const std::string& name : names()) {
      if (name != "target.db") {
        EXPECT_TRUE(is_temporary_file_name(fs::path(name).wstring())) << name;
      }
    }
  }
  EXPECT_EQ(read(target()), "old");
  EXPECT_EQ(names(), std::set<std::string>{"target.db"});

  replacement_file kept(target());
  kept.stream() << "new";
  kept.commit();
  EXPECT_EQ(read(target()), "new");
  EXPECT_EQ(names(), std::set<std::string>{"target.db"});
}

TEST_F(Replacement, ARelativeTargetIsReplacedInTheCurrentFolder) {
  const fs::path previous = fs::current_path();
  fs::current_path(folder_);
  try {
    replacement_file relative("target.db");
    relative.stream() << "new";
    relative.commit();
  } catch (const std::exception& failure) {
    ADD_FAILURE() << failure.what();
  }
  fs::current_path(previous);
  EXPECT_EQ(read(target()), "new");
  EXPECT_EQ(names(), std::set<std::string>{"target.db"});
}

TEST_F(Replacement, AFolderIsNeverReplacedAndProbingLeavesNothing) {
  EXPECT_THROW(replacement_file{folder_}, fs::filesystem_error);
  EXPECT_FALSE(probe_folder(folder_));
  EXPECT_TRUE(probe_folder(folder_ / "missing"));
  EXPECT_EQ(names(), std::set<std::string>{"target.db"});
}

}  // namespace
}  // namespace netkeep::files
