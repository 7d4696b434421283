// The registry operations as the program sees them: on a file-backed hive,
// and on Windows (or Wine) on the real registry, which the hive must match;
// and the same on a memory tree, which must match both.

#include "platform/win32/registry.h"

#include <gtest/gtest.h>

#include "platform/win32/registry_memory.h"
#include "platform/win32/registry_test_support.h"

namespace win32::registry::testing {
namespace {

class registry : public scratch_registry, public ::testing::WithParamInterface<std::string> {
 protected:
  raw_key root() const { return GetParam() == "memory" ? memory_root_.get() : scratch_registry::root(); }
#ifndef _WIN32
  void TearDown() override {
    // A memory tree is nothing of the file-backed registry's.
    if (GetParam() == "memory") {
      EXPECT_EQ(folder_entries(), std::vector<std::string>{});
    }
    scratch_registry::TearDown();
  }
#endif

 private:
  memory_tree tree_;
  key_handle memory_root_ = tree_.open_root();
};

INSTANTIATE_TEST_SUITE_P(Backends, registry, ::testing::Values("platform", "memory"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

TEST_P(registry, NamesAreCaseInsensitiveAndCasePreserving) {
  key_handle software = make_key(root(), L"Software");
  create_key(root(), L"SOFTWARE\\corvanta");
  EXPECT_EQ(error_of([&] { open_key(root(), L"software\\CORVANTA", generic_read); }), error_success);
  EXPECT_EQ(subkeys(software.get()), "corvanta ");
  EXPECT_EQ(subkeys(root()), "Software ");
  create_key(software.get(), L"\u00e9");
  EXPECT_EQ(error_of([&] { open_key(software.get(), L"\u00c9", generic_read); }), error_success);
}

TEST_P(registry, SubkeysSortByUpperCasedNames) {
  if (under_wine()) GTEST_SKIP() << "Wine sorts subkeys by lower-cased names, Windows by upper-cased ones";
  key_handle order = make_key(root(), L"Order");
  for (const wchar_t* name : {L"b", L"_", L"a1", L"A", L"\u00e9", L"Z"}) create_key(order.get(), name);
  // "_" (0x5F) sorts after every letter once the letters are upper-cased.
  EXPECT_EQ(subkeys(order.get()), "A a1 b Z _ \xc3\xa9 ");
}

TEST_P(registry, ValuesReplaceTheirTypeAndDataByCaseInsensitiveName) {
  key_handle key = make_key(root(), L"Values");
  set(key.get(), L"a", reg_dword, std::string("\x01\0\0\0", 4));
  set_text(key.get(), L"", L"default");
  set(key.get(), L"A", reg_binary, "xyz");
  set_text(key.get(), L"text", L"C:\\Orbenta \u00d1 \U0001F6F0");
  std::uint32_t type = 0;
  EXPECT_EQ(query(key.get(), L"a", &type), "xyz");
  EXPECT_EQ(type, reg_binary);
  EXPECT_EQ(query(key.get(), L""), sz(L"default"));
  EXPECT_EQ(query(key.get(), L"TEXT"), sz(L"C:\\Orbenta \u00d1 \U0001F6F0"));
  const value_info info = query_value(key.get(), L"text", nullptr, 0);  // size only
  EXPECT_EQ(info.type, reg_sz);
  EXPECT_EQ(info.size, sz(L"C:\\Orbenta \u00d1 \U0001F6F0").size());

  // Keys with many values look them up through an index.
  for (int i = 0; i < 100; ++i) set_text(key.get(), L"v" + std::to_wstring(i), std::to_wstring(i));
  delete_value(key.get(), L"V10");
  set_text(key.get(), L"V99", L"last");
  EXPECT_EQ(query(key.get(), L"v11"), sz(L"11"));
  EXPECT_EQ(query(key.get(), L"v99"), sz(L"last"));
  EXPECT_EQ(error_of([&] { query(key.get(), L"v10"); }), error_file_not_found);
}

TEST_P(registry, ValuesEnumerateInCreationOrder) {
  if (under_wine()) GTEST_SKIP() << "Wine enumerates values sorted by name, Windows in creation order";
  key_handle key = make_key(root(), L"Values");
  set_text(key.get(), L"b", L"1");
  set_text(key.get(), L"a", L"2");
  set_text(key.get(), L"", L"default");
  set_text(key.get(), L"A", L"replaced in place");
  EXPECT_EQ(values(key.get()), "b a  ");
  delete_value(key.get(), L"B");
  set_text(key.get(), L"b", L"back");
  EXPECT_EQ(values(key.get()), "a  b ");
}

TEST_P(registry, FailuresGiveTheirWin32Codes) {
  create_key(root(), L"Errors\\abc\\Child");
  key_handle key = open_key(root(), L"Errors", generic_all);
  set(key.get(), L"four", reg_binary, "1234");

  EXPECT_EQ(error_of([&] { open_key(key.get(), L"missing", generic_read); }), error_file_not_found);
  EXPECT_EQ(error_of([&] { query(key.get(), L"missing"); }), error_file_not_found);
  EXPECT_EQ(error_of([&] { delete_value(key.get(), L"missing"); }), error_file_not_found);
  EXPECT_EQ(error_of([&] { delete_key(key.get(), L"missing"); }), error_file_not_found);
  EXPECT_EQ(error_of([&] { delete_key(key.get(), L"abc"); }), error_access_denied);

  char buffer[4];
  EXPECT_EQ(error_of([&] { query_value(key.get(), L"four", buffer, 3); }), error_more_data);
  EXPECT_EQ(error_of([&] { query_value(key.get(), L"four", buffer, 4); }), error_success);
  std::wstring name;
  EXPECT_EQ(enum_key(key.get(), 0, name, 3), error_more_data);  // "abc" and its terminator
  EXPECT_EQ(enum_key(key.get(), 0, name, 4), error_success);
  EXPECT_EQ(enum_key(key.get(), 1, name, 4), error_no_more_items);
  EXPECT_EQ(enum_value(key.get(), 0, name, 4), error_more_data);
  EXPECT_EQ(enum_value(key.get(), 1, name, 100), error_no_more_items);

  // With data: a name or data too large for their buffers, and the end.
  value_info info{};
  EXPECT_EQ(enum_value_with_data(key.get(), 0, name, 4, buffer, 4, info), error_more_data);
  EXPECT_EQ(enum_value_with_data(key.get(), 0, name, 5, buffer, 3, info), error_more_data);
  EXPECT_EQ(enum_value_with_data(key.get(), 1, name, 100, buffer, 4, info), error_no_more_items);
}

TEST_P(registry, EnumeratingValuesWithDataGivesNameTypeAndData) {
  create_key(root(), L"WithData");
  key_handle key = open_key(root(), L"WithData", generic_all);
  // Created in name order, which is also Wine's enumeration order.
  set(key.get(), L"Empty", reg_none, "");
  set(key.get(), L"four", reg_binary, "1234");
  std::wstring name;
  char buffer[8] = {};
  value_info info{};
  ASSERT_EQ(enum_value_with_data(key.get(), 0, name, 6, buffer, sizeof buffer, info), error_success);
  EXPECT_EQ(name, L"Empty");
  EXPECT_EQ(info.type, reg_none);
  EXPECT_EQ(info.size, 0u);
  ASSERT_EQ(enum_value_with_data(key.get(), 1, name, 6, buffer, sizeof buffer, info), error_success);
  EXPECT_EQ(name, L"four");
  EXPECT_EQ(info.type, reg_binary);
  EXPECT_EQ(std::string(buffer, info.size), "1234");
}

TEST_P(registry, InvalidNamesAreRejected) {
  if (under_wine()) GTEST_SKIP() << "Wine accepts key and value names that Windows rejects";
  create_key(root(), L"Errors\\abc");
  key_handle key = open_key(root(), L"Errors", generic_all);
  const std::wstring longest(255, L'k');
  EXPECT_EQ(error_of([&] { create_key(key.get(), longest); }), error_success);
  EXPECT_EQ(error_of([&] { create_key(key.get(), longest + L"k"); }), error_invalid_parameter);
  EXPECT_EQ(error_of([&] { create_key(key.get(), L"a\\\\b"); }), error_invalid_parameter);
  EXPECT_EQ(error_of([&] { open_key(key.get(), L"abc\\", generic_read); }), error_invalid_parameter);
  EXPECT_EQ(error_of([&] { create_key(key.get(), L"line\nbreak"); }), error_invalid_parameter);
  EXPECT_EQ(error_of([&] { set_text(key.get(), L"line\rbreak", L""); }), error_invalid_parameter);
  EXPECT_EQ(error_of([&] { set_text(key.get(), std::wstring(16383, L'v'), L""); }), error_success);
  EXPECT_EQ(error_of([&] { set_text(key.get(), std::wstring(16384, L'v'), L""); }), error_invalid_parameter);
  EXPECT_EQ(subkeys(key.get()), "abc " + std::string(255, 'k') + " ");
}

TEST_P(registry, AccessRightsOfTheHandleAreEnforced) {
  create_key(root(), L"Rights\\Sub");
  key_handle reader = open_key(root(), L"Rights", generic_read);
  key_handle writer = open_key(root(), L"Rights", generic_write);
  key_handle deleter = open_key(root(), L"Rights", delete_access);

  EXPECT_EQ(error_of([&] { set_text(reader.get(), L"v", L"x"); }), error_access_denied);
  if (!under_wine()) {  // Wine creates subkeys through read-only handles
    EXPECT_EQ(error_of([&] { create_key(reader.get(), L"New"); }), error_access_denied);
  }
  EXPECT_EQ(error_of([&] { delete_value(reader.get(), L"v"); }), error_access_denied);
  set_text(writer.get(), L"v", L"x");
  EXPECT_EQ(error_of([&] { query(writer.get(), L"v"); }), error_access_denied);
  EXPECT_EQ(query(reader.get(), L"v"), sz(L"x"));
  std::wstring name;
  EXPECT_EQ(enum_key(writer.get(), 0, name, 10), error_access_denied);
  EXPECT_EQ(enum_value(deleter.get(), 0, name, 10), error_access_denied);
  // An existing key is only opened, for writing.
  key_handle created = create_key(reader.get(), L"Sub");
  EXPECT_EQ(enum_key(created.get(), 0, name, 10), error_access_denied);
}

TEST_P(registry, HandleOfADeletedKeyFails) {
  key_handle parent = make_key(root(), L"Parent");
  key_handle doomed = make_key(parent.get(), L"Doomed");
  set_text(doomed.get(), L"v", L"x");
  delete_key(parent.get(), L"DOOMED");

  std::wstring name;
  EXPECT_EQ(error_of([&] { query(doomed.get(), L"v"); }), error_key_deleted);
  EXPECT_EQ(error_of([&] { set_text(doomed.get(), L"v", L"y"); }), error_key_deleted);
  EXPECT_EQ(error_of([&] { open_key(doomed.get(), L"", generic_read); }), error_key_deleted);
  EXPECT_EQ(error_of([&] { create_key(doomed.get(), L"child"); }), error_key_deleted);
  EXPECT_EQ(enum_value(doomed.get(), 0, name, 10), error_key_deleted);
  EXPECT_EQ(subkeys(parent.get()), "");
  // A key made again under the same name is a new, empty key.
  EXPECT_EQ(values(make_key(parent.get(), L"Doomed").get()), "");
  EXPECT_EQ(error_of([&] { query(doomed.get(), L"v"); }), error_key_deleted);
}

TEST_P(registry, DeleteSubkeysEmptiesADeepTreeAndKeepsTheKey) {
  key_handle top = make_key(root(), L"Top");
  set_text(top.get(), L"kept", L"yes");
  for (const wchar_t* path : {L"a\\b\\c\\d", L"a\\b2", L"e", L"f\\g"}) create_key(top.get(), path);
  delete_subkeys(top.get());
  EXPECT_EQ(subkeys(top.get()), "");
  EXPECT_EQ(values(top.get()), "kept ");
}

TEST_P(registry, WalkVisitsDepthFirstAndGoesOnAfterADeletedKey) {
  key_handle top = make_key(root(), L"Walk");
  for (const wchar_t* path : {L"a\\a1\\x", L"a\\a2", L"b\\b1", L"c"}) create_key(top.get(), path);

  std::wstring visits;
  walk_keys(top.get(), false, [&](raw_key key, const std::wstring& path, const std::wstring& name, bool entering) {
    visits += (entering ? L"+" : L"-") + path + L" ";
    if (!entering && name == L"b1") {
      delete_key(key, name);
      return false;
    }
    return name != L"a1";  // a1's subtree is skipped
  });
  EXPECT_EQ(visits, L"+a +a\\a1 +a\\a2 -a\\a2 -a +b +b\\b1 -b\\b1 -b +c -c ");

  // Deleting every key on leaving empties the tree without skipping any.
  std::wstring deleted;
  walk_keys(top.get(), false, [&](raw_key key, const std::wstring& path, const std::wstring& name, bool entering) {
    if (entering) return true;
    delete_key(key, name);
    deleted += path + L" ";
    return false;
  });
  EXPECT_EQ(deleted, L"a\\a1\\x a\\a1 a\\a2 a b c ");
  EXPECT_EQ(subkeys(top.get()), "");
}

}  // namespace
}  // namespace win32::registry::testing
