#pragma once
// Test support for the file-backed registry (POSIX only): a fixture that
// points the registry at a hive file in a fresh temporary folder, and
// shorthands for the registry operations.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"

namespace win32::registry::testing {

class temporary_hive : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "netkeep-hive-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    file = folder / "registry.reg";
    ::setenv("ORBENTA_REGISTRY", file.c_str(), 1);
  }
  void TearDown() override {
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(folder);
    ::unsetenv("ORBENTA_REGISTRY");
  }

  void write_file(const std::string& bytes) const { std::ofstream(file, std::ios::binary) << bytes; }
  std::string read_file() const {
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    return bytes.str();
  }
  std::vector<std::string> folder_entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::filesystem::path folder;
  std::filesystem::path file;
};

// Creates the key and opens it with every right (created keys are opened
// for writing only).
inline key_handle make_key(raw_key parent, const std::wstring& path) {
  create_key(parent, path);
  return open_key(parent, path, generic_all);
}

// REG_SZ data as Windows stores them: UTF-16LE and a terminator.
inline std::string sz(const std::wstring& text) { return netkeep::text::to_utf16le(text) + std::string(2, '\0'); }

inline void set(raw_key key, const std::wstring& name, std::uint32_t type, const std::string& data) {
  set_value(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
}
inline void set_text(raw_key key, const std::wstring& name, const std::wstring& text) {
  set(key, name, reg_sz, sz(text));
}

inline std::string query(raw_key key, const std::wstring& name, std::uint32_t* type = nullptr) {
  std::string buffer(1 << 16, '\0');
  const value_info info = query_value(key, name, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  if (type != nullptr) *type = info.type;
  return buffer.substr(0, info.size);
}

// Subkey (value) names in enumeration order, each followed by a space.
inline std::string subkeys(raw_key key, bool of_values = false) {
  std::string names;
  std::wstring name;
  for (std::uint32_t i = 0; (of_values ? enum_value : enum_key)(key, i, name, 16384) == error_success; ++i) {
    names += netkeep::text::to_utf8(name) + " ";
  }
  return names;
}
inline std::string values(raw_key key) { return subkeys(key, true); }

// The code of the win32::error that `operation` throws; 0 for none.
template <class Operation>
std::uint32_t error_of(Operation operation) {
  try {
    operation();
  } catch (const error& failure) {
    return failure.code;
  }
  return error_success;
}

}  // namespace win32::registry::testing
