#pragma once
// The hive file on disk: reading it, replacing it atomically, and the lock
// that serialises the sessions of several processes on one hive.

#include <filesystem>
#include <functional>
#include <ostream>

#include "platform/win32/registry_hive_format.h"

namespace win32::registry {

// Opens the file and hands `use` a reader of its bytes (registry_hive_format.h),
// which reads the file a piece at a time; false, without calling `use`, when
// the file does not exist. Failures to open or read throw
// std::runtime_error naming the file.
bool read_hive_file(const std::filesystem::path& file, const std::function<void(const hive_reader&)>& use);

// Replaces the file's contents atomically with netkeep::files::replacement_file:
// a crash at any moment leaves the old or the new file, never a partial one;
// a symbolic link is followed, not replaced; the new file keeps the old
// one's owner, group and mode. On failure the file is unchanged and
// std::runtime_error("cannot write the registry file <file>: <reason>").
// `write` is given the new file's stream and writes the contents into it.
void replace_hive_file(const std::filesystem::path& file, const std::function<void(std::ostream&)>& write);

// Fails as replace_hive_file would when the temporary file of a replacement
// cannot be created beside the file or given its owner and mode (a
// read-only file system, a folder without write permission): creates that
// temporary file and removes it again. Changes nothing.
void check_hive_replaceable(const std::filesystem::path& file);

// An exclusive advisory lock (flock) on the sidecar file "<hive>.lock" in
// the hive's folder (of the file that a symbolic link names, when the hive
// is one), held while the object lives. The sidecar is never
// removed: removing it would let two processes lock different files.
class hive_lock {
 public:
  hive_lock() = default;
  ~hive_lock();
  hive_lock(hive_lock&& other) noexcept;
  hive_lock& operator=(hive_lock&& other) noexcept;
  hive_lock(const hive_lock&) = delete;
  hive_lock& operator=(const hive_lock&) = delete;

  // Waits until no other process holds the lock of `hive` and takes it.
  // When the sidecar can be neither created nor opened (a read-only or
  // missing folder) or cannot be locked, holds nothing and the caller goes
  // on without the lock: reading still works, and a write-back will fail on
  // its own with a clear error.
  static hive_lock acquire(const std::filesystem::path& hive);

  bool held() const { return fd_ >= 0; }

 private:
  explicit hive_lock(int fd) : fd_(fd) {}
  void release() noexcept;

  int fd_ = -1;
};

}  // namespace win32::registry
