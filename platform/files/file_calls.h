#pragma once
// The platform's file calls behind replacement_file (file_calls-posix.cpp,
// file_calls-win32.cpp). Files are C runtime file descriptors on both
// platforms. Each call returns its failure as an error code instead of
// throwing.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace netkeep::files::calls {

// Creates `file` for writing only if it does not exist yet (O_EXCL), not
// inherited by child processes. Returns the descriptor, or -1 and `error`.
int create_new(const std::filesystem::path& file, std::error_code& error);

// Opens the existing `file` for writing, without truncating it (a pipe or a
// device). Returns the descriptor, or -1 and `error`.
int open_existing(const std::filesystem::path& file, std::error_code& error);

// Writes all `size` bytes, going on after interrupted or partial writes.
std::error_code write_all(int fd, const char* data, std::size_t size);

// Flushes the file's contents to the disk.
std::error_code sync(int fd);

// Asks the system to start writing `size` bytes from `offset` to the disk
// without waiting for them, so that a later sync() has less left to wait
// for. Only a hint: nothing where the platform has no such call, and
// failures (a pipe, a device) are ignored.
void start_writeback(int fd, std::uint64_t offset, std::uint64_t size);

// Waits until the `size` bytes from `offset`, whose writeback was started,
// are on the disk, then lets the system drop them from its file cache. A
// large file that is written once and not read back should not fill the
// cache, evicting what other programs read; and the pages freed are taken
// again by the next writes, which costs less than taking fresh memory for
// every page of the file. Only a hint, like start_writeback: nothing where
// the platform has no such call, and failures are ignored (a failed write
// is still reported by the final sync()).
void drop_written(int fd, std::uint64_t offset, std::uint64_t size);

std::error_code close(int fd);

// Gives the file of `fd` the owner, group and permission bits of the existing
// file `model`; nothing when `model` does not exist. Nothing on Windows,
// where replace() keeps the replaced file's attributes and security.
std::error_code copy_owner_and_mode(int fd, const std::filesystem::path& model);

// Renames `from` over `to`, which may exist, in one step.
std::error_code replace(const std::filesystem::path& from, const std::filesystem::path& to);

// Makes the folder's entries durable, where the platform can; failures are
// accepted (the renamed file's contents already are on disk).
void sync_folder(const std::filesystem::path& folder);

}  // namespace netkeep::files::calls
