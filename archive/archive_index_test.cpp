// The registry part handed out step by step: the first read, which checks
// the whole archive, and the second, which restores, see the same steps.

#include "archive/archive_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/text/unicode.h"
#include "tests/support/archive_bytes.h"

namespace netkeep::archive {
namespace {

using namespace netkeep::testing;

// Writes each step as a line, so that two reads compare as two texts.
class step_log final : public registry_visitor {
 public:
  void set_value(const std::wstring& name, std::uint32_t type, const std::string& data) override {
    text += "value " + text::to_utf8(name) + " " + std::to_string(type) + " " + std::to_string(data.size()) + ":" +
            data + "\n";
  }
  void enter_key(const std::wstring& name) override { text += "enter " + text::to_utf8(name) + "\n"; }
  void leave_key() override { text += "leave\n"; }

  std::string text;
};

std::string key_record(const std::wstring& name, const std::string& values, const std::string& subkeys) {
  return archive_name(name) + values + end_of_list() + subkeys + end_of_list();
}

struct two_reads {
  archive_index index;
  std::string first;
  std::string second;
};

two_reads read_twice(const std::string& bytes) {
  std::istringstream in(bytes);
  two_reads reads;
  step_log first;
  reads.index = read_archive_index(in, &first);
  step_log second;
  read_registry_part(in, reads.index, second);
  reads.first = first.text;
  reads.second = second.text;
  return reads;
}

TEST(RegistryPart, ASecondReadSeesTheStepsOfTheFirstInOrder) {
  const std::string registry =
      value_record(L"version", 1, "v3") + end_of_list() +
      key_record(L"Bandwidth", value_record(L"Count", 4, u32le(2)) + value_record(L"Empty", 3, ""),
                 key_record(L"Inner", value_record(L"x", 1, "y"), key_record(L"Innermost", "", ""))) +
      key_record(L"Satellites", "", "") + end_of_list();
  const two_reads reads =
      read_twice(archive_header() + registry + file_record(L"Network.db", "db") + end_of_list());
  EXPECT_EQ(reads.first,
            "value version 1 2:v3\n"
            "enter Bandwidth\nvalue Count 4 4:" + u32le(2) + "\nvalue Empty 3 0:\n"
            "enter Inner\nvalue x 1 1:y\nenter Innermost\nleave\nleave\nleave\n"
            "enter Satellites\nleave\n");
  EXPECT_EQ(reads.second, reads.first);
  EXPECT_FALSE(reads.index.registry_empty);
  ASSERT_EQ(reads.index.files.size(), 1u);
  EXPECT_EQ(reads.index.files[0].name, L"Network.db");
}

TEST(RegistryPart, VersionZeroHasNoValueListOfItsOwn) {
  const std::string registry = key_record(L"Only", value_record(L"a", 1, "b"), "") + end_of_list();
  const two_reads reads = read_twice(archive_header(0) + registry + end_of_list());
  EXPECT_EQ(reads.first, "enter Only\nvalue a 1 1:b\nleave\n");
  EXPECT_EQ(reads.second, reads.first);
}

TEST(RegistryPart, EmptyOnlyWithoutAnyValueOrKey) {
  EXPECT_TRUE(read_twice(archive_header() + end_of_list() + end_of_list() + end_of_list()).index.registry_empty);
  EXPECT_TRUE(read_twice(archive_header(0) + end_of_list() + end_of_list()).index.registry_empty);
  EXPECT_FALSE(read_twice(archive_header() + value_record(L"v", 1, "") + end_of_list() + end_of_list() +
                          end_of_list())
                   .index.registry_empty);
  EXPECT_FALSE(read_twice(archive_header() + end_of_list() + key_record(L"k", "", "") + end_of_list() +
                          end_of_list())
                   .index.registry_empty);
}

// A registry part many read-ahead blocks long, followed by files whose
// contents the first read skipped: the second read starts again at the
// registry part, not where the first read stopped.
TEST(RegistryPart, ALongRegistryPartIsReadAgainFromItsStart) {
  std::string keys;
  for (int i = 0; i < 3000; ++i) {
    keys += key_record(L"Key" + std::to_wstring(i), value_record(L"Data", 3, std::string(100, 'a' + i % 26)), "");
  }
  const std::string big(300000, 'z');
  const two_reads reads = read_twice(archive_header() + end_of_list() + keys + end_of_list() +
                                     file_record(L"Network.db", big) + end_of_list());
  EXPECT_EQ(reads.second, reads.first);
  EXPECT_EQ(std::count(reads.first.begin(), reads.first.end(), '\n'), 3 * 3000);
  EXPECT_NE(reads.first.find("enter Key2999\nvalue Data 3 100:" + std::string(100, 'a' + 2999 % 26) + "\nleave\n"),
            std::string::npos);
}

}  // namespace
}  // namespace netkeep::archive
