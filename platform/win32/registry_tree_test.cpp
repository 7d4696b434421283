// The in-memory tree of the file-backed hive, the registry of platforms that
// have none; Windows builds use the real registry and do not test it.
#ifndef _WIN32

#include "platform/win32/registry_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/win32/registry_names.h"

namespace win32::registry {
namespace {

key_node& add_key(key_node& parent, const std::wstring& name) {
  return parent.children.insert(std::make_unique<key_node>(name, &parent));
}

void set(key_node& key, const std::wstring& name, const std::string& data) {
  key.set_value(name, fold_name(name), 3, data);
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
    EXPECT_EQ(value.name().str(), L"v" + std::to_wstring(i));
    EXPECT_EQ(value.name().folded(), fold_name(value.name().str()));
    EXPECT_EQ(value.data(), expected[i]) << i;
  }
  EXPECT_EQ(key.values.at(400).data(), "");
  EXPECT_EQ(key.values.find(fold_name(L"EMPTY"))->name().str(), L"empty");
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

  EXPECT_EQ(gone->name().str(), L"Gone \u00e9");
  EXPECT_EQ(gone->values.at(0).name().str(), L"value");
  EXPECT_EQ(gone->values.at(0).data(), "data");
  // Keys added below it later share its storage.
  EXPECT_EQ(add_key(*gone, L"Child").name().str(), L"Child");
}


// Names from characters that each way of holding a name meets: ASCII in
// both cases, Latin-1 (some fold outside it: U+00FF, U+00B5), other scripts,
// a lone surrogate and a character above the basic plane (a surrogate pair
// when folded). Few characters, so that names and folded names recur.
std::wstring random_name(std::mt19937& random) {
  static constexpr wchar_t alphabet[] = {L'a', L'A', L'b', L'B', L'7', L'{', L'-', L'\u00e9', L'\u00c9', L'\u00ff',
                                         L'\u00b5', L'\u0178', L'\u03bc', L'\u0436', L'\u0416', L'\u4e2d',
                                         static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x1F600)};
  std::wstring name(std::uniform_int_distribution<std::size_t>(1, 4)(random), L'a');
  for (wchar_t& c : name) c = alphabet[std::uniform_int_distribution<std::size_t>(0, std::size(alphabet) - 1)(random)];
  return name;
}

// A key as a plain model: subkeys by folded name (their enumeration order),
// values in creation order.
struct model_key {
  std::map<std::u16string, std::pair<std::wstring, model_key>> children;
  std::vector<std::pair<std::wstring, std::string>> values;
};

void expect_same(const key_node& key, const model_key& model) {
  ASSERT_EQ(key.values.size(), model.values.size());
  for (std::size_t i = 0; i < model.values.size(); ++i) {
    EXPECT_EQ(key.values.at(i).name().str(), model.values[i].first);
    EXPECT_EQ(key.values.at(i).data(), model.values[i].second);
  }
  ASSERT_EQ(key.children.size(), model.children.size());
  std::size_t i = 0;
  for (const auto& [folded, child] : model.children) {
    const key_node& node = key.children.at(i++);
    EXPECT_EQ(node.name().str(), child.first);
    EXPECT_EQ(node.name().folded(), folded);
    EXPECT_EQ(node.name().folded_size(), folded.size());
    EXPECT_EQ(node.parent(), &key);
    expect_same(node, child.second);
  }
}

TEST(RegistryTree, KeysAndValuesBehaveAsAPlainModelWhateverTheirNames) {
  std::mt19937 random(19);
  key_node root;
  model_key model;
  for (int round = 0; round < 3000; ++round) {
    // A key one or two levels down, then one step on it.
    key_node* key = &root;
    model_key* mirror = &model;
    for (int depth = std::uniform_int_distribution<int>(0, 2)(random); depth > 0 && key->children.size() > 0;
         --depth) {
      const std::size_t pick = std::uniform_int_distribution<std::size_t>(0, key->children.size() - 1)(random);
      key = &key->children.at(pick);
      mirror = &std::next(mirror->children.begin(), static_cast<std::ptrdiff_t>(pick))->second.second;
    }
    // Now and then the first or last subkey's name: a walk that deletes
    // takes subkeys from the front, an import adds them at the back.
    std::wstring name = random_name(random);
    if (const int end = std::uniform_int_distribution<int>(0, 3)(random); end < 2 && !mirror->children.empty()) {
      name = end == 0 ? mirror->children.begin()->second.first : mirror->children.rbegin()->second.first;
    }
    const std::u16string folded = fold_name(name);
    auto same_value = [&folded](const auto& value) { return fold_name(value.first) == folded; };
    auto value = std::find_if(mirror->values.begin(), mirror->values.end(), same_value);
    switch (std::uniform_int_distribution<int>(0, 5)(random)) {
      case 0:
      case 1: {
        const std::string data(std::uniform_int_distribution<std::size_t>(0, 9)(random), static_cast<char>(round));
        key->set_value(name, folded, 1, data);
        if (value == mirror->values.end()) {
          mirror->values.emplace_back(name, data);
        } else {
          value->second = data;
        }
        break;
      }
      case 2:
        EXPECT_EQ(key->values.erase(folded), value != mirror->values.end());
        if (value != mirror->values.end()) mirror->values.erase(value);
        break;
      case 3:
      case 4:
        if (!mirror->children.contains(folded)) {
          EXPECT_EQ(key->children.find(folded), nullptr);
          add_key(*key, name);
          mirror->children.emplace(folded, std::pair{name, model_key()});
        }
        break;
      case 5:
        if (auto child = mirror->children.find(folded); child != mirror->children.end()) {
          if (!child->second.second.children.empty()) break;
          std::unique_ptr<key_node> removed = key->children.remove(folded);
          ASSERT_NE(removed, nullptr);
          EXPECT_EQ(removed->name().str(), child->second.first);
          EXPECT_EQ(removed->parent(), nullptr);
          mirror->children.erase(child);
        } else {
          EXPECT_EQ(key->children.remove(folded), nullptr);
        }
        break;
    }
    const value_entry* found = key->values.find(folded);
    value = std::find_if(mirror->values.begin(), mirror->values.end(), same_value);
    ASSERT_EQ(found != nullptr, value != mirror->values.end());
    if (found != nullptr) {
      EXPECT_EQ(found->name().str(), value->first);
    }
  }
  expect_same(root, model);
}

TEST(RegistryTree, SubkeysLoadedOutOfOrderOrDeletedAreSortedAndDropped) {
  std::mt19937 random(7);
  key_node root;
  std::map<std::u16string, std::wstring> kept;
  for (int i = 0; i < 500; ++i) {
    const std::wstring name = random_name(random) + std::to_wstring(i);
    key_node& added = root.children.append_unsorted(std::make_unique<key_node>(name, &root));
    added.deleted = i % 3 == 0;
    if (!added.deleted) kept.emplace(fold_name(name), name);
  }
  root.children.sort_dropping_deleted();
  ASSERT_EQ(root.children.size(), kept.size());
  std::size_t i = 0;
  for (const auto& [folded, name] : kept) {
    EXPECT_EQ(root.children.at(i).name().str(), name);
    EXPECT_EQ(root.children.find(folded), &root.children.at(i));
    ++i;
  }
}

}  // namespace
}  // namespace win32::registry

#endif  // _WIN32
