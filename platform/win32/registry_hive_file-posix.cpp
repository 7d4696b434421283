#include "platform/win32/registry_hive_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

#include "platform/files/replacement_file.h"

namespace win32::registry {
namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& file, std::error_code error) {
  throw std::runtime_error(what + " " + file.string() + ": " + error.message());
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& file, int error) {
  fail(what, file, std::error_code(error, std::generic_category()));
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

 private:
  int fd_;
};

// Runs `use` on a replacement of the hive file; its failures name the file.
template <class Use>
void with_replacement(const std::filesystem::path& file, Use use) {
  try {
    netkeep::files::replacement_file out(file);
    use(out);
  } catch (const std::filesystem::filesystem_error& failure) {
    fail("cannot write the registry file", file, failure.code());
  }
}

}  // namespace

bool read_hive_file(const std::filesystem::path& file, const std::function<void(const hive_reader&)>& use) {
  file_descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return false;
    fail("cannot open the registry file", file, errno);
  }
  // Read once from start to end.
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  use([&fd, &file](char* buffer, std::size_t size) {
    for (;;) {
      const ssize_t got = ::read(fd.get(), buffer, size);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) fail("cannot read the registry file", file, errno);
    }
  });
  return true;
}

void check_hive_replaceable(const std::filesystem::path& file) {
  with_replacement(file, [](netkeep::files::replacement_file&) {});  // removed unused
}

void replace_hive_file(const std::filesystem::path& file, const std::function<void(std::ostream&)>& write) {
  with_replacement(file, [&write](netkeep::files::replacement_file& out) {
    write(out.stream());
    out.commit();
  });
}

hive_lock hive_lock::acquire(const std::filesystem::path& hive) {
  // The lock of the real file: two processes that reach one hive through
  // different links must take the same lock.
  std::error_code ignored;
  std::filesystem::path sidecar = std::filesystem::is_symlink(hive, ignored) ? std::filesystem::canonical(hive, ignored) : hive;
  if (sidecar.empty()) sidecar = hive;  // a dangling link
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
