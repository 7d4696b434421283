// The registry layer on Windows: each operation is one advapi32 call on the
// real registry, counted by count_call. A raw_key is the HKEY itself, or a
// key of a memory tree (registry_memory.h), which is served from memory.

#include <windows.h>

#include "platform/win32/registry.h"
#include "platform/win32/registry_calls.h"
#include "platform/win32/registry_memory.h"

namespace win32::registry {
namespace {

HKEY to_hkey(raw_key key) { return reinterpret_cast<HKEY>(key); }
raw_key from_hkey(HKEY key) { return reinterpret_cast<raw_key>(key); }

}  // namespace

raw_key local_machine() { return from_hkey(HKEY_LOCAL_MACHINE); }

// The registry's own limits: key names of 255 characters, value names of
// 16383; any character but the backslash (which separates key names).
std::optional<std::size_t> key_path_length(const std::wstring& name) {
  const std::wstring_view text(name.c_str());
  if (text.empty()) return 0;
  std::size_t names = 0;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(L'\\', start);
    const std::size_t length = (end == std::wstring_view::npos ? text.size() : end) - start;
    if (length == 0 || length > 255) return std::nullopt;
    ++names;
    if (end == std::wstring_view::npos) return names;
    start = end + 1;
  }
}

bool is_valid_value_name(const std::wstring& name) { return std::wstring_view(name.c_str()).size() <= 16383; }

void key_handle::reset(raw_key key) {
  raw_key old = key_;
  key_ = key;
  if (old == nullptr || old == key) return;
  if (memory::is_memory_key(old)) {
    memory::close_key(old);
  } else {
    count_call();
    RegCloseKey(to_hkey(old));
  }
}

key_handle open_key(raw_key parent, const std::wstring& path, access_mask access) {
  if (memory::is_memory_key(parent)) return memory::open_key(parent, path, access);
  HKEY key = nullptr;
  count_call();
  check(static_cast<std::uint32_t>(RegOpenKeyExW(to_hkey(parent), path.c_str(), 0, access, &key)));
  return key_handle(from_hkey(key));
}

key_handle create_key(raw_key parent, const std::wstring& name) {
  if (memory::is_memory_key(parent)) return memory::create_key(parent, name);
  HKEY key = nullptr;
  count_call();
  check(static_cast<std::uint32_t>(RegCreateKeyExW(to_hkey(parent), name.c_str(), 0, nullptr,
                                                   REG_OPTION_NON_VOLATILE, generic_write, nullptr, &key,
                                                   nullptr)));
  return key_handle(from_hkey(key));
}

value_info query_value(raw_key key, const std::wstring& name, void* buffer, std::uint32_t buffer_size) {
  if (memory::is_memory_key(key)) return memory::query_value(key, name, buffer, buffer_size);
  DWORD type = 0;
  DWORD size = buffer_size;
  count_call();
  check(static_cast<std::uint32_t>(
      RegQueryValueExW(to_hkey(key), name.c_str(), nullptr, &type, static_cast<BYTE*>(buffer), &size)));
  return {type, size};
}

void set_value(raw_key key, const std::wstring& name, std::uint32_t type, const void* data, std::uint32_t size) {
  if (memory::is_memory_key(key)) return memory::set_value(key, name, type, data, size);
  count_call();
  check(static_cast<std::uint32_t>(
      RegSetValueExW(to_hkey(key), name.c_str(), 0, type, static_cast<const BYTE*>(data), size)));
}

void delete_key(raw_key parent, const std::wstring& name) {
  if (memory::is_memory_key(parent)) return memory::delete_key(parent, name);
  count_call();
  check(static_cast<std::uint32_t>(RegDeleteKeyW(to_hkey(parent), name.c_str())));
}

void delete_value(raw_key key, const std::wstring& name) {
  if (memory::is_memory_key(key)) return memory::delete_value(key, name);
  count_call();
  check(static_cast<std::uint32_t>(RegDeleteValueW(to_hkey(key), name.c_str())));
}

std::uint32_t enum_key(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars) {
  if (memory::is_memory_key(key)) return memory::enum_key(key, index, name, name_buffer_chars);
  std::wstring buffer(name_buffer_chars, L'\0');
  DWORD length = name_buffer_chars;
  count_call();
  auto result = static_cast<std::uint32_t>(
      RegEnumKeyExW(to_hkey(key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr));
  if (result == error_success) name.assign(buffer.data(), length);
  return result;
}

std::uint32_t enum_value(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars) {
  if (memory::is_memory_key(key)) return memory::enum_value(key, index, name, name_buffer_chars);
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
  if (memory::is_memory_key(key)) {
    return memory::enum_value_with_data(key, index, name, name_buffer_chars, buffer, buffer_size, info);
  }
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
  if (memory::is_memory_key(key)) return;  // nothing to make durable
  count_call();
  check(static_cast<std::uint32_t>(RegFlushKey(to_hkey(key))));
}

void discard_changes(raw_key) {}

void check_write_back(raw_key) {}

std::vector<std::filesystem::path> backing_files() { return {}; }

}  // namespace win32::registry
