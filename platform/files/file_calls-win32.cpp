#include "platform/files/file_calls.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>

namespace netkeep::files::calls {
namespace {

std::error_code last_errno() { return std::error_code(errno, std::generic_category()); }

std::error_code last_error() { return std::error_code(static_cast<int>(::GetLastError()), std::system_category()); }

}  // namespace

int create_new(const std::filesystem::path& file, std::error_code& error) {
  const int fd =
      ::_wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0) error = last_errno();
  return fd;
}

int open_existing(const std::filesystem::path& file, std::error_code& error) {
  const int fd = ::_wopen(file.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) error = last_errno();
  return fd;
}

std::error_code write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const unsigned chunk = size < INT_MAX ? static_cast<unsigned>(size) : INT_MAX;
    const int written = ::_write(fd, data, chunk);
    if (written < 0) return last_errno();
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return {};
}

std::error_code sync(int fd) { return ::_commit(fd) == 0 ? std::error_code() : last_errno(); }

// Windows writes a file's cached pages out on its own, without a hint.
void start_writeback(int, std::uint64_t, std::uint64_t) {}

// Nothing: the C runtime's descriptors have no such call, and Windows'
// cache manager writes a file's pages out and reuses them on its own.
void drop_written(int, std::uint64_t, std::uint64_t) {}

std::error_code close(int fd) { return ::_close(fd) == 0 ? std::error_code() : last_errno(); }

// The owner and the access control list stay those of the replaced file
// through ReplaceFileW in replace().
std::error_code copy_owner_and_mode(int, const std::filesystem::path&) { return {}; }

std::error_code replace(const std::filesystem::path& relative_from, const std::filesystem::path& relative_to) {
  // ReplaceFileW keeps the replaced file's attributes, owner and access
  // control list; it needs an existing file to replace, so a new target is
  // moved into place. It refuses names relative to the current folder.
  std::error_code error;
  const std::filesystem::path from = std::filesystem::absolute(relative_from, error);
  if (error) return error;
  const std::filesystem::path to = std::filesystem::absolute(relative_to, error);
  if (error) return error;
  if (::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return {};
  }
  const DWORD failure = ::GetLastError();
  if (failure != ERROR_FILE_NOT_FOUND) return std::error_code(static_cast<int>(failure), std::system_category());
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
  return last_error();
}

// Folders cannot be flushed on Windows; MOVEFILE_WRITE_THROUGH and the file
// system's journal make the rename durable.
void sync_folder(const std::filesystem::path&) {}

}  // namespace netkeep::files::calls
