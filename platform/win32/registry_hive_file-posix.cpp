#include "platform/win32/registry_hive_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace win32::registry {
namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& file, int error) {
  throw std::runtime_error(what + " " + file.string() + ": " + std::strerror(error));
}

// An open file descriptor, closed when the owner ends.
class file_descriptor {
 public:
  explicit file_descriptor(int fd) : fd_(fd) {}
  ~file_descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  file_descriptor(const file_descriptor&) = delete;
  file_descriptor& operator=(const file_descriptor&) = delete;

  int get() const { return fd_; }
  // Closes now and reports the result, which can carry a delayed write error.
  int close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The temporary file of a write-back, removed unless it was renamed.
class temporary_file {
 public:
  explicit temporary_file(std::filesystem::path path) : path_(std::move(path)) {}
  ~temporary_file() {
    if (!committed_) ::unlink(path_.c_str());
  }
  temporary_file(const temporary_file&) = delete;
  temporary_file& operator=(const temporary_file&) = delete;

  void commit() { committed_ = true; }

 private:
  std::filesystem::path path_;
  bool committed_ = false;
};

// The file that a replacement renames over: the target of a symbolic link,
// else the file itself.
std::filesystem::path replaced_file(const std::filesystem::path& file) {
  std::error_code ignored;
  const std::filesystem::path target =
      std::filesystem::is_symlink(file, ignored) ? std::filesystem::canonical(file, ignored) : file;
  if (target.empty()) fail("cannot write the registry file", file, ENOENT);  // a dangling link
  return target;
}

std::filesystem::path folder_of(const std::filesystem::path& target) {
  std::filesystem::path folder = target.parent_path();
  return folder.empty() ? "." : folder;
}

// Creates the temporary file of a replacement of `target` in its folder;
// its name is left in `name`.
int create_temporary(const std::filesystem::path& file, const std::filesystem::path& target, std::vector<char>& name) {
  const std::string pattern = (folder_of(target) / ("." + target.filename().string() + ".XXXXXX")).string();
  name.assign(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) fail("cannot write the registry file", file, errno);
  return fd;
}

}  // namespace

std::optional<std::string> read_hive_file(const std::filesystem::path& file) {
  file_descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    fail("cannot open the registry file", file, errno);
  }
  std::string bytes;
  struct stat status {};
  if (::fstat(fd.get(), &status) == 0 && status.st_size > 0) bytes.reserve(static_cast<std::size_t>(status.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      fail("cannot read the registry file", file, errno);
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

void check_hive_replaceable(const std::filesystem::path& file) {
  std::vector<char> name;
  file_descriptor fd(create_temporary(file, replaced_file(file), name));
  temporary_file temporary(name.data());
}

void replace_hive_file(const std::filesystem::path& file, std::string_view contents) {
  const std::filesystem::path target = replaced_file(file);
  const std::filesystem::path folder = folder_of(target);
  std::vector<char> name;
  file_descriptor fd(create_temporary(file, target, name));
  temporary_file temporary(name.data());

  struct stat old_status {};
  const mode_t mode = ::stat(target.c_str(), &old_status) == 0 ? (old_status.st_mode & 07777) : 0644;
  if (::fchmod(fd.get(), mode) != 0 || !write_all(fd.get(), contents) || ::fsync(fd.get()) != 0 ||
      fd.close() != 0) {
    fail("cannot write the registry file", file, errno);
  }
  if (::rename(name.data(), target.c_str()) != 0) fail("cannot write the registry file", file, errno);
  temporary.commit();

  // Makes the rename itself durable; folders that cannot be synced are
  // accepted, the file's contents already are on disk.
  file_descriptor folder_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder_fd.get() >= 0) ::fsync(folder_fd.get());
}

hive_lock hive_lock::acquire(const std::filesystem::path& hive) {
  std::filesystem::path sidecar = hive;
  sidecar += ".lock";
  int fd = ::open(sidecar.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) fd = ::open(sidecar.c_str(), O_RDONLY | O_CLOEXEC);  // exists in a read-only folder
  if (fd < 0) return hive_lock();
  int result;
  do {
    result = ::flock(fd, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    ::close(fd);
    return hive_lock();
  }
  return hive_lock(fd);
}

hive_lock::~hive_lock() { release(); }

hive_lock::hive_lock(hive_lock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

hive_lock& hive_lock::operator=(hive_lock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void hive_lock::release() noexcept {
  if (fd_ < 0) return;
  // Unlocked explicitly: a forked child may still share the descriptor.
  ::flock(fd_, LOCK_UN);
  ::close(std::exchange(fd_, -1));
}

}  // namespace win32::registry
