#include "platform/files/file_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace netkeep::files::calls {
namespace {

std::error_code last_error() { return std::error_code(errno, std::generic_category()); }

}  // namespace

int create_new(const std::filesystem::path& file, std::error_code& error) {
  // 0666: the umask decides, as for any new file.
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) error = last_error();
  return fd;
}

int open_existing(const std::filesystem::path& file, std::error_code& error) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) error = last_error();
  return fd;
}

std::error_code write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return {};
}

std::error_code sync(int fd) { return ::fsync(fd) == 0 ? std::error_code() : last_error(); }

void start_writeback(int fd, std::uint64_t offset, std::uint64_t size) {
#ifdef __linux__
  ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#else
  (void)fd;
  (void)offset;
  (void)size;
#endif
}

void drop_written(int fd, std::uint64_t offset, std::uint64_t size) {
#ifdef __linux__
  ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(size),
                    SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
  ::posix_fadvise(fd, static_cast<off_t>(offset), static_cast<off_t>(size), POSIX_FADV_DONTNEED);
#else
  (void)fd;
  (void)offset;
  (void)size;
#endif
}

std::error_code close(int fd) { return ::close(fd) == 0 ? std::error_code() : last_error(); }

std::error_code copy_owner_and_mode(int fd, const std::filesystem::path& model) {
  struct stat wanted {};
  if (::stat(model.c_str(), &wanted) != 0) return errno == ENOENT ? std::error_code() : last_error();
  struct stat now {};
  if (::fstat(fd, &now) != 0) return last_error();
  // The owner first: a change of owner clears the set-user-id and
  // set-group-id bits, which the mode then restores.
  if ((now.st_uid != wanted.st_uid || now.st_gid != wanted.st_gid) &&
      ::fchown(fd, wanted.st_uid, wanted.st_gid) != 0) {
    return last_error();
  }
  if (::fchmod(fd, wanted.st_mode & 07777) != 0) return last_error();
  return {};
}

std::error_code replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : last_error();
}

void sync_folder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace netkeep::files::calls
