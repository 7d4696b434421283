// The in-memory tree of the file-backed hive, the registry of platforms that
// have none; Windows builds use the real registry and do not test it.
#ifndef _WIN32

#include "platform/win32/registry_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/registry_names.h"

namespace win32::registry {
namespace {

key_node& add_key(key_node& parent, const std::wstring& name) {
  return parent.children.insert(std::make_unique<key_node>(name, &parent));
}

void set(key_node& key, const std::wstring& name, const std::string& data) {
  key.values.set(name, fold_name(name), 3, data);
}

TEST(RegistryTree, NamesAndDataStayIntactAcrossStorageBlocks) {
  // Sizes around and far beyond what one storage block takes, so that both
  // small pieces and pieces of their own are placed; every value must still
  // read back unchanged once everything is stored.
  key_node root;
  key_node& key = add_key(root, L"Values");
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < 400; ++i) {
    const std::size_t size = (i * 977) % 20000;
    expected.push_back(std::string(size, static_cast<char>('a' + i % 26)));
    set(key, L"v" + std::to_wstring(i), expected.back());
  }
  set(key, L"empty", "");
  set(key, L"V7", "replaced");  // same name folded: keeps its place and case
  expected[7] = "replaced";

  ASSERT_EQ(key.values.size(), 401u);
  for (std::size_t i = 0; i < 400; ++i) {
    const value_entry& value = key.values.at(i);
    EXPECT_EQ(value.name, L"v" + std::to_wstring(i));
    EXPECT_EQ(value.folded, fold_name(value.name));
    EXPECT_EQ(value.data, expected[i]) << i;
  }
  EXPECT_EQ(key.values.at(400).data, "");
  EXPECT_EQ(key.values.find(fold_name(L"EMPTY"))->name, L"empty");
}

TEST(RegistryTree, KeyTakenOutOfItsTreeKeepsItsNamesAfterTheTreeIsGone) {
  // The registry keeps deleted keys that still have open handles after it
  // has dropped the tree they came from.
  auto root = std::make_unique<key_node>();
  key_node& parent = add_key(*root, L"Parent");
  set(add_key(parent, L"Gone \u00e9"), L"value", "data");
  std::unique_ptr<key_node> gone = parent.children.remove(fold_name(L"gone \u00c9"));
  ASSERT_NE(gone, nullptr);
  root.reset();

  EXPECT_EQ(gone->name, L"Gone \u00e9");
  EXPECT_EQ(gone->values.at(0).name, L"value");
  EXPECT_EQ(gone->values.at(0).data, "data");
  // Keys added below it later share its storage.
  EXPECT_EQ(add_key(*gone, L"Child").name, L"Child");
}

}  // namespace
}  // namespace win32::registry

#endif  // _WIN32
