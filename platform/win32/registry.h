#pragma once
// The registry layer: owning key handles and the key and value operations
// that the program uses. Every operation throws win32::error with the
// registry's result code when the underlying call fails, unless said
// otherwise. Enumerations (enum_key, enum_value) return the result code
// instead, because every caller ends its loop at the first non-success.
//
// Two backends implement this header, chosen at build time: the Windows
// registry through advapi32 (registry-win32.cpp) and, on every other platform,
// a file-backed hive (registry-posix.cpp) that behaves as the Windows registry
// does. Nothing outside platform/win32 knows which one it runs on. Beside
// either, key trees held in memory (registry_memory.h) serve the same
// operations: each operation looks at its key at run time and goes to the
// memory tree that the key belongs to, or to the backend.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/error.h"

namespace win32::registry {

// An open key as the backend knows it (an HKEY on Windows). Not owning.
struct key_object;
using raw_key = key_object*;

using access_mask = std::uint32_t;
inline constexpr access_mask generic_read = 0x80000000;
inline constexpr access_mask generic_write = 0x40000000;
inline constexpr access_mask generic_all = 0x10000000;
inline constexpr access_mask delete_access = 0x00010000;

// Registry type codes, stored and restored unchanged.
inline constexpr std::uint32_t reg_none = 0;
inline constexpr std::uint32_t reg_sz = 1;
inline constexpr std::uint32_t reg_expand_sz = 2;
inline constexpr std::uint32_t reg_binary = 3;
inline constexpr std::uint32_t reg_dword = 4;
inline constexpr std::uint32_t reg_multi_sz = 7;
inline constexpr std::uint32_t reg_qword = 11;

// The predefined root key HKEY_LOCAL_MACHINE; never closed.
raw_key local_machine();

// Owns one open key, or none. Destroying or resetting it closes the key and
// ignores the result of the close. Moved, never copied.
class key_handle {
 public:
  key_handle() = default;
  explicit key_handle(raw_key key) : key_(key) {}
  key_handle(key_handle&& other) noexcept : key_(other.release()) {}
  key_handle& operator=(key_handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  key_handle(const key_handle&) = delete;
  key_handle& operator=(const key_handle&) = delete;
  ~key_handle() { reset(); }

  raw_key get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  raw_key release() {
    raw_key key = key_;
    key_ = nullptr;
    return key;
  }
  void reset(raw_key key = nullptr);

 private:
  raw_key key_ = nullptr;
};

// RegOpenKeyExW with options 0: opens `path` (one name or several joined by
// backslashes; empty opens `parent` again) below `parent`.
key_handle open_key(raw_key parent, const std::wstring& path, access_mask access);

// RegCreateKeyExW, no class, non-volatile, generic write access: opens the
// subkey, creating it (and any missing keys on its path) when needed. A key
// that would lie deeper than max_key_depth is refused with
// error_invalid_parameter.
key_handle create_key(raw_key parent, const std::wstring& name);

// The deepest key of the Windows registry: a key's path from
// HKEY_LOCAL_MACHINE, which counts as the first level, has at most this many
// names. The file-backed hive's reader refuses a file with a deeper key, and
// create_key refuses to create one.
inline constexpr std::size_t max_key_depth = 512;

// How create_key takes `name` (cut at its first NUL): the number of keys
// that its path names (0 for an empty name, which opens the parent again),
// or nothing when create_key refuses it with error_invalid_parameter below
// any parent: an empty name between backslashes (a leading, trailing or
// doubled backslash), a name longer than 255 characters, or, in the
// file-backed hive, characters that its file cannot carry (a line break, a
// lone surrogate). Changes nothing.
std::optional<std::size_t> key_path_length(const std::wstring& name);

// Whether set_value accepts the value name (cut at its first NUL): at most
// 16383 characters and, in the file-backed hive, none that its file cannot
// carry. Changes nothing.
bool is_valid_value_name(const std::wstring& name);

struct value_info {
  std::uint32_t type;
  std::uint32_t size;  // bytes of data
};

// RegQueryValueExW: copies the value's data into `buffer` (which holds
// `buffer_size` bytes) and returns its type and size. A missing value throws
// error_file_not_found (2); data larger than the buffer throw
// error_more_data (234). An empty name is the key's default value.
value_info query_value(raw_key key, const std::wstring& name, void* buffer, std::uint32_t buffer_size);

// RegSetValueExW: creates or replaces the value.
void set_value(raw_key key, const std::wstring& name, std::uint32_t type, const void* data, std::uint32_t size);

// RegDeleteKeyW: deletes the direct subkey `name` of `parent` with its
// values. A subkey that has subkeys of its own is not deleted:
// error_access_denied (5).
void delete_key(raw_key parent, const std::wstring& name);

// RegDeleteValueW.
void delete_value(raw_key key, const std::wstring& name);

// RegEnumKeyExW: the name of the subkey at `index`, in the registry's
// enumeration order. `name_buffer_chars` is the caller's name buffer in wide
// characters, terminator included: a longer name gives error_more_data.
// Past the last subkey: error_no_more_items. Returns the result code.
std::uint32_t enum_key(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars);

// RegEnumValueW, names only: the name of the value at `index`, values in
// creation order; results as for enum_key.
std::uint32_t enum_value(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars);

// RegEnumValueW with data: as enum_value, and also copies the value's data
// into `buffer` (which holds `buffer_size` bytes) and sets `info` to its type
// and size. A name or data too large for its buffer gives error_more_data
// (the name and `info` are then unspecified), so that a caller that needs
// the name alone asks again by enum_value.
std::uint32_t enum_value_with_data(raw_key key, std::uint32_t index, std::wstring& name,
                                   std::uint32_t name_buffer_chars, void* buffer, std::uint32_t buffer_size,
                                   value_info& info);

// RegFlushKey: makes every change made so far durable. The file-backed hive
// writes itself back here (and when its last open key is closed, unless
// discard_changes was called).
void flush_key(raw_key key);

// Gives up the changes not yet made durable by flush_key, where the registry
// holds them in memory: the file-backed hive writes nothing more until its
// session ends (its last open key is closed), so that the file keeps what the
// last write-back wrote; a flush_key in between throws
// std::runtime_error("registry changes were discarded"). The Windows
// registry has applied every change at once: nothing to give up.
void discard_changes(raw_key key);

// Fails, before any change is made through `key`, when flush_key could not
// make changes durable. The file-backed hive throws std::runtime_error (the
// write-back's own message) when its folder does not take the write-back's
// temporary file: a read-only file system, a folder without write
// permission. The Windows registry writes its changes itself: nothing to
// check.
void check_write_back(raw_key key);

// The name buffer of the program's value enumerations (export, reset) in
// wide characters, terminator included: a value name of 256 or more
// characters gives error_more_data.
inline constexpr std::uint32_t value_name_chars = 256;

// The test that ends an enumeration loop: true at error_no_more_items, false
// at error_success; any other result throws win32::error, since ending the
// loop there would silently leave out the items after it.
bool enumeration_ended(std::uint32_t result);

// The files that hold the registry: the file-backed hive and its lock file;
// none for the Windows registry, which no command may overwrite as a file.
std::vector<std::filesystem::path> backing_files();

// Deletes every subkey of `key`, depth first; the key itself and its values
// stay. An enumeration that fails ends the deletion without error.
void delete_subkeys(raw_key key);

// Visitor of walk_keys: (handle of the visited key when entering, of its
// parent when leaving; path relative to the walk's start; the key's own
// name; entering). The handle stays owned by the walk.
using key_visitor = std::function<bool(raw_key key, const std::wstring& path, const std::wstring& name, bool entering)>;

// Depth-first walk below `start` (which is not visited itself). Each key is
// visited on entering; when that call returns true its subtree is walked and
// the key is visited again on leaving. A leaving call that returns false
// means the key is gone, and the next key is looked for at the same index.
// Subkeys are opened with generic read access when `read_only`, else with
// generic all access; a failing open throws, and so does a subkey
// enumeration that ends with anything but error_no_more_items.
void walk_keys(raw_key start, bool read_only, const key_visitor& visitor);

}  // namespace win32::registry
