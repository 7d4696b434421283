// The advapi32 backend of the registry layer against the real registry (the
// Wine prefix's, when the tests run under Wine), on a throw-away key below
// HKEY_CURRENT_USER.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"

namespace win32::registry {
namespace {

class windows_registry : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = L"Software\\netkeep-test\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            netkeep::text::from_utf8(test->name());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    root_ = key_handle(reinterpret_cast<raw_key>(key));
  }

  void TearDown() override {
    root_.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\netkeep-test");  // when no other test's key is left
  }

  raw_key root() const { return root_.get(); }

  // Creates the key (and its path) and opens it with every right: created
  // keys are opened for writing only.
  key_handle make_key(const std::wstring& path) const {
    create_key(root(), path);
    return open_key(root(), path, generic_all);
  }

 private:
  std::wstring path_;
  key_handle root_;
};

// REG_SZ data: UTF-16LE with a terminator.
std::string sz(const std::wstring& text) { return netkeep::text::to_utf16le(text) + std::string(2, '\0'); }

void set(raw_key key, const std::wstring& name, std::uint32_t type, const std::string& data) {
  set_value(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
}

std::string query(raw_key key, const std::wstring& name, std::uint32_t* type = nullptr) {
  std::string buffer(4096, '\0');
  value_info info = query_value(key, name, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  if (type != nullptr) *type = info.type;
  buffer.resize(info.size);
  return buffer;
}

std::vector<std::wstring> subkeys(raw_key key) {
  std::vector<std::wstring> names;
  std::wstring name;
  for (std::uint32_t i = 0; enum_key(key, i, name, 256) == error_success; ++i) names.push_back(name);
  return names;
}

template <class Operation>
std::uint32_t error_of(Operation operation) {
  try {
    operation();
  } catch (const error& failure) {
    return failure.code;
  }
  return error_success;
}

TEST_F(windows_registry, ValuesKeepTheirTypesAndBytes) {
  key_handle key = make_key(L"Values");
  set(key.get(), L"text", reg_sz, sz(L"C:\\Orbenta \u00d1 \U0001F6F0"));
  set(key.get(), L"number", reg_dword, std::string("\x2a\0\0\0", 4));
  set(key.get(), L"", reg_binary, std::string("\0\xff", 2));

  std::uint32_t type = 0;
  EXPECT_EQ(query(key.get(), L"text", &type), sz(L"C:\\Orbenta \u00d1 \U0001F6F0"));
  EXPECT_EQ(type, reg_sz);
  EXPECT_EQ(query(key.get(), L"NUMBER", &type), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(type, reg_dword);
  EXPECT_EQ(query(key.get(), L"", &type), std::string("\0\xff", 2));
  EXPECT_EQ(type, reg_binary);

  // Without a buffer only the type and size come back.
  value_info info = query_value(key.get(), L"text", nullptr, 0);
  EXPECT_EQ(info.type, reg_sz);
  EXPECT_EQ(info.size, sz(L"C:\\Orbenta \u00d1 \U0001F6F0").size());

  std::wstring name;
  EXPECT_EQ(enum_value(key.get(), 3, name, 256), error_no_more_items);
  delete_value(key.get(), L"text");
  EXPECT_EQ(error_of([&] { query(key.get(), L"text"); }), error_file_not_found);
  flush_key(key.get());
}

TEST_F(windows_registry, FailuresGiveTheirWin32Codes) {
  key_handle parent = make_key(L"Parent");
  create_key(parent.get(), L"Child");
  set(parent.get(), L"long", reg_sz, sz(L"more than four bytes"));
  char small[4];

  EXPECT_EQ(error_of([&] { open_key(root(), L"Missing", generic_read); }), error_file_not_found);
  EXPECT_EQ(error_of([&] { query(parent.get(), L"missing"); }), error_file_not_found);
  EXPECT_EQ(error_of([&] { query_value(parent.get(), L"long", small, sizeof small); }), error_more_data);
  EXPECT_EQ(error_of([&] { delete_value(parent.get(), L"missing"); }), error_file_not_found);
  EXPECT_EQ(error_of([&] { delete_key(root(), L"Parent"); }), error_access_denied);

  std::wstring name;
  EXPECT_EQ(enum_key(parent.get(), 0, name, 5), error_more_data);
  EXPECT_EQ(enum_key(parent.get(), 0, name, 6), error_success);
  EXPECT_EQ(name, L"Child");
  EXPECT_EQ(enum_key(parent.get(), 1, name, 256), error_no_more_items);

  // A created key is open for writing only.
  key_handle written = create_key(root(), L"Parent");
  set(written.get(), L"new", reg_dword, std::string(4, '\0'));
  EXPECT_EQ(error_of([&] { query(written.get(), L"new"); }), error_access_denied);
}

TEST_F(windows_registry, DeleteSubkeysEmptiesADeepTreeAndKeepsTheKeyAndItsValues) {
  key_handle top = make_key(L"Top");
  set(top.get(), L"kept", reg_sz, sz(L"yes"));
  for (const wchar_t* path : {L"a\\b\\c\\d", L"a\\e", L"f"}) create_key(top.get(), path);

  delete_subkeys(top.get());
  EXPECT_TRUE(subkeys(top.get()).empty());
  EXPECT_EQ(query(top.get(), L"kept"), sz(L"yes"));
  delete_subkeys(top.get());  // nothing left to delete
  EXPECT_EQ(subkeys(root()), std::vector<std::wstring>{L"Top"});
}

TEST_F(windows_registry, WalkVisitsDepthFirstAndGoesOnAfterADeletedKey) {
  key_handle top = make_key(L"Top");
  for (const wchar_t* path : {L"a\\x", L"b", L"c\\y\\z"}) create_key(top.get(), path);

  std::vector<std::wstring> visits;
  walk_keys(top.get(), false, [&](raw_key key, const std::wstring& path, const std::wstring& name, bool entering) {
    visits.push_back((entering ? L"> " : L"< ") + path);
    if (entering) return name != L"y";  // y's subtree is skipped
    if (name != L"b") return true;
    delete_key(key, name);  // gone: c now stands at b's index
    return false;
  });
  EXPECT_EQ(visits, (std::vector<std::wstring>{L"> a", L"> a\\x", L"< a\\x", L"< a", L"> b", L"< b", L"> c",
                                                L"> c\\y", L"< c"}));
  EXPECT_EQ(subkeys(top.get()), (std::vector<std::wstring>{L"a", L"c"}));

  int calls = 0;
  key_handle leaf = open_key(top.get(), L"a\\x", generic_read);
  walk_keys(leaf.get(), true, [&](raw_key, const std::wstring&, const std::wstring&, bool) { return ++calls > 0; });
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace win32::registry
