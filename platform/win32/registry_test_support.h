#pragma once
// Test support for the registry layer: fixtures that give a test a registry
// of its own, and shorthands for the registry operations.
//
// temporary_hive (POSIX only) points the file-backed registry at a hive file
// in a fresh temporary folder. scratch_registry gives a test a root key to
// work below on either backend: HKEY_LOCAL_MACHINE of a temporary hive, or,
// on Windows, a throw-away key below HKEY_CURRENT_USER of the real registry
// (under Wine, the prefix's), deleted with everything in it afterwards.

#include <gtest/gtest.h>
#include <stdlib.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"

namespace win32::registry::testing {

#ifndef _WIN32
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

class scratch_registry : public temporary_hive {
 protected:
  raw_key root() const { return local_machine(); }
};
#else
class scratch_registry : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::wstring(parent_path) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            netkeep::text::from_utf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    root_ = key_handle(reinterpret_cast<raw_key>(key));
  }
  void TearDown() override {
    root_.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, parent_path);  // once no other test's key is left
  }

  raw_key root() const { return root_.get(); }

 private:
  static constexpr const wchar_t* parent_path = L"Software\\netkeep-test";
  std::wstring path_;
  key_handle root_;
};
#endif

// Whether the tests run under Wine, whose registry differs from Windows' in
// a few details that the file-backed hive follows Windows in.
inline bool under_wine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

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
