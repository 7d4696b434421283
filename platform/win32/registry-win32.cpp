// The registry layer on Windows: each operation is one advapi32 call on the
// real registry, counted by count_call. A raw_key is the HKEY itself.

#include <windows.h>

#include "platform/win32/registry.h"
#include "platform/win32/registry_calls.h"

namespace win32::registry {
namespace {

HKEY to_hkey(raw_key key) { return reinterpret_cast<HKEY>(key); }
raw_key from_hkey(HKEY key) { return reinterpret_cast<raw_key>(key); }

}  // namespace

raw_key local_machine() { return from_hkey(HKEY_LOCAL_MACHINE); }

void key_handle::reset(raw_key key) {
  raw_key old = key_;
  key_ = key;
  if (old != nullptr && old != key) {
    count_call();
    RegCloseKey(to_hkey(old));
  }
}

key_handle open_key(raw_key parent, const std::wstring& path, access_mask access) {
  HKEY key = nullptr;
  count_call();
  check(static_cast<std::uint32_t>(RegOpenKeyExW(to_hkey(parent), path.c_str(), 0, access, &key)));
  return key_handle(from_hkey(key));
}

key_handle create_key(raw_key parent, const std::wstring& name) {
  HKEY key = nullptr;
  count_call();
  check(static_cast<std::uint32_t>(RegCreateKeyExW(to_hkey(parent), name.c_str(), 0, nullptr,
                                                   REG_OPTION_NON_VOLATILE, generic_write, nullptr, &key,
                                                   nullptr)));
  return key_handle(from_hkey(key));
}

value_info query_value(raw_key key, const std::wstring& name, void* buffer, std::uint32_t buffer_size) {
  DWORD type = 0;
  DWORD size = buffer_size;
  count_call();
  check(static_cast<std::uint32_t>(
      RegQueryValueExW(to_hkey(key), name.c_str(), nullptr, &type, static_cast<BYTE*>(buffer), &size)));
  return {type, size};
}

void set_value(raw_key key, const std::wstring& name, std::uint32_t type, const void* data, std::uint32_t size) {
  count_call();
  check(static_cast<std::uint32_t>(
      RegSetValueExW(to_hkey(key), name.c_str(), 0, type, static_cast<const BYTE*>(data), size)));
}

void delete_key(raw_key parent, const std::wstring& name) {
  count_call();
  check(static_cast<std::uint32_t>(RegDeleteKeyW(to_hkey(parent), name.c_str())));
}

void delete_value(raw_key key, const std::wstring& name) {
  count_call();
  check(static_cast<std::uint32_t>(RegDeleteValueW(to_hkey(key), name.c_str())));
}

std::uint32_t enum_key(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars) {
  std::wstring buffer(name_buffer_chars, L'\0');
  DWORD length = name_buffer_chars;
  count_call();
  auto result = static_cast<std::uint32_t>(
      RegEnumKeyExW(to_hkey(key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr));
  if (result == error_success) name.assign(buffer.data(), length);
  return result;
}

std::uint32_t enum_value(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars) {
  std::wstring buffer(name_buffer_chars, L'\0');
  DWORD length = name_buffer_chars;
  count_call();
  auto result = static_cast<std::uint32_t>(
      RegEnumValueW(to_hkey(key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr));
  if (result == error_success) name.assign(buffer.data(), length);
  return result;
}

std::uint32_t enum_value_with_data(raw_key key, std::uint32_t index, std::wstring& name,
                                   std::uint32_t name_buffer_chars, void* buffer, std::uint32_t buffer_size,
                                   value_info& info) {
  std::wstring characters(name_buffer_chars, L'\0');
  DWORD length = name_buffer_chars;
  DWORD type = 0;
  DWORD size = buffer_size;
  count_call();
  auto result = static_cast<std::uint32_t>(RegEnumValueW(to_hkey(key), index, characters.data(), &length, nullptr,
                                                         &type, static_cast<BYTE*>(buffer), &size));
  if (result == error_success) {
    name.assign(characters.data(), length);
    info = {type, size};
  }
  return result;
}

void flush_key(raw_key key) {
  count_call();
  check(static_cast<std::uint32_t>(RegFlushKey(to_hkey(key))));
}

void check_write_back(raw_key) {}

std::vector<std::filesystem::path> backing_files() { return {}; }

}  // namespace win32::registry
