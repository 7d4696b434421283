#include "platform/files/replacement_file.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/files/file_calls.h"

namespace netkeep::files {
namespace {

namespace fs = std::filesystem;

constexpr std::wstring_view temporary_prefix = L"netkeep-";
constexpr std::wstring_view temporary_extension = L".tmp";
constexpr std::size_t random_digits = 16;
constexpr std::size_t buffer_bytes = 1 << 16;
// As many links as POSIX systems follow before ELOOP.
constexpr int most_links = 40;

bool all_of(std::wstring_view text, bool (*accepts)(wchar_t)) {
  return !text.empty() && std::all_of(text.begin(), text.end(), accepts);
}

bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool is_lower_hex(wchar_t c) { return is_digit(c) || (c >= L'a' && c <= L'f'); }

[[noreturn]] void fail(const char* what, const fs::path& target, std::error_code error) {
  throw fs::filesystem_error(what, target, error);
}

// A new name each call, from the system's random source mixed with the time
// and a count, so that a weak random source still gives distinct names.
fs::path temporary_name(const fs::path& folder) {
  static std::random_device source;
  static unsigned long long count = 0;
  unsigned long long number = (static_cast<unsigned long long>(source()) << 32) ^ source();
  number ^= static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  number += ++count * 0x9E3779B97F4A7C15ull;
  std::wstring name(temporary_prefix);
  static constexpr wchar_t digits[] = L"0123456789abcdef";
  for (std::size_t i = 0; i < random_digits; ++i, number >>= 4) name += digits[number & 0xF];
  name += temporary_extension;
  return folder / name;
}

// Creates a file of a new temporary name in `folder`; tries other names while
// one exists.
int create_temporary(const fs::path& folder, fs::path& name, std::error_code& error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    error.clear();
    name = temporary_name(folder);
    const int fd = calls::create_new(name, error);
    if (fd >= 0 || error != std::errc::file_exists) return fd;
  }
  return -1;
}

// The file that `target` names once its symbolic links are followed; a link
// relative to its own folder. A dangling link gives the missing file it
// names.
fs::path followed(fs::path target) {
  for (int i = 0; i < most_links; ++i) {
    std::error_code error;
    if (!fs::is_symlink(target, error)) return target;
    fs::path link = fs::read_symlink(target, error);
    if (error) fail("cannot create a file replacing", target, error);
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  fail("cannot create a file replacing", target, std::make_error_code(std::errc::too_many_symbolic_link_levels));
}

fs::path folder_of(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

}  // namespace

bool is_temporary_file_name(std::wstring_view name) {
  if (!name.starts_with(temporary_prefix)) return false;
  name.remove_prefix(temporary_prefix.size());
  for (const std::wstring_view extension : {std::wstring_view(L".tmp"), std::wstring_view(L".probe")}) {
    if (!name.ends_with(extension)) continue;
    const std::wstring_view middle = name.substr(0, name.size() - extension.size());
    if (extension == temporary_extension && middle.size() == random_digits && all_of(middle, is_lower_hex)) {
      return true;
    }
    // netkeep-<process id>-<count>, the names of earlier versions.
    const std::size_t dash = middle.find(L'-');
    return dash != std::wstring_view::npos && all_of(middle.substr(0, dash), is_digit) &&
           all_of(middle.substr(dash + 1), is_digit);
  }
  return false;
}

// An output buffer on a file descriptor that remembers the first failure.
class replacement_file::descriptor_buffer : public std::streambuf {
 public:
  explicit descriptor_buffer(int fd) : fd_(fd), bytes_(buffer_bytes) { setp(bytes_.data(), bytes_.data() + bytes_.size()); }
  ~descriptor_buffer() override {
    if (fd_ >= 0) calls::close(fd_);
  }

  // Writes out the buffer, syncs when asked and closes; the first failure,
  // also when called again.
  std::error_code close(bool durable) {
    if (fd_ < 0) return error_;
    flush();
    if (!error_ && durable) error_ = calls::sync(fd_);
    const std::error_code closed = calls::close(fd_);
    fd_ = -1;
    if (!error_) error_ = closed;
    return error_;
  }

 protected:
  int_type overflow(int_type c) override {
    if (!flush()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  std::streamsize xsputn(const char* data, std::streamsize count) override {
    if (count < epptr() - pptr()) return std::streambuf::xsputn(data, count);
    // A large write goes straight to the file.
    if (!flush()) return 0;
    write_out(data, static_cast<std::size_t>(count));
    return error_ ? 0 : count;
  }

  int sync() override { return flush() ? 0 : -1; }

 private:
  bool flush() {
    if (error_) return false;
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    if (pending > 0) write_out(pbase(), pending);
    setp(bytes_.data(), bytes_.data() + bytes_.size());
    return !error_;
  }

  // Writes to the file and has the system start writing a large file to the
  // disk while more is written, instead of leaving all of it to the final
  // sync. The step before the one just started is then waited for and
  // dropped from the file cache, so that a file of gigabytes passes through
  // two steps of cache instead of filling it.
  void write_out(const char* data, std::size_t size) {
    error_ = calls::write_all(fd_, data, size);
    if (error_) return;
    written_ += size;
    if (written_ - writeback_from_ >= writeback_step) {
      calls::start_writeback(fd_, writeback_from_, written_ - writeback_from_);
      if (writeback_from_ > dropped_to_) calls::drop_written(fd_, dropped_to_, writeback_from_ - dropped_to_);
      dropped_to_ = writeback_from_;
      writeback_from_ = written_;
    }
  }

  static constexpr std::uint64_t writeback_step = 16 << 20;

  int fd_;
  std::uint64_t written_ = 0;         // bytes written to the file so far
  std::uint64_t writeback_from_ = 0;  // where no writeback was started yet
  std::uint64_t dropped_to_ = 0;      // the file cache dropped up to here
  std::vector<char> bytes_;
  std::error_code error_;
};

replacement_file::replacement_file(const fs::path& target, other_target others) : out_(nullptr) {
  std::error_code error;
  const fs::file_status status = fs::status(target, error);
  if (fs::is_directory(status)) fail("cannot create a file replacing", target, std::make_error_code(std::errc::is_a_directory));
  int fd = -1;
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    if (others == other_target::refuse) {
      fail("cannot create a file replacing", target, std::make_error_code(std::errc::operation_not_supported));
    }
    target_ = target;
    fd = calls::open_existing(target_, error);
    if (fd < 0) fail("cannot create a file replacing", target, error);
  } else {
    target_ = followed(target);
    fd = create_temporary(folder_of(target_), temporary_, error);
    if (fd < 0) fail("cannot create a file replacing", target, error);
    error = calls::copy_owner_and_mode(fd, target_);
    if (error) {
      calls::close(fd);
      std::error_code ignored;
      fs::remove(temporary_, ignored);
      fail("cannot create a file replacing", target, error);
    }
  }
  buffer_ = std::make_unique<descriptor_buffer>(fd);
  out_.rdbuf(buffer_.get());
}

replacement_file::~replacement_file() {
  if (committed_ || temporary_.empty()) return;
  buffer_.reset();
  std::error_code ignored;
  fs::remove(temporary_, ignored);
}

std::ostream& replacement_file::stream() { return out_; }

void replacement_file::finish() {
  if (finished_) return;
  const bool durable = !temporary_.empty();
  const std::error_code error = buffer_->close(durable);
  if (error) fail("cannot write", target_, error);
  if (!out_) fail("cannot write", target_, std::make_error_code(std::errc::io_error));
  finished_ = true;
}

void replacement_file::commit() {
  finish();
  if (temporary_.empty()) {
    committed_ = true;
    return;
  }
  if (const std::error_code error = calls::replace(temporary_, target_)) fail("cannot rename", target_, error);
  committed_ = true;
  calls::sync_folder(folder_of(target_));
}

std::error_code probe_folder(const fs::path& folder) {
  fs::path name;
  std::error_code error;
  const int fd = create_temporary(folder, name, error);
  if (fd < 0) return error;
  calls::close(fd);
  fs::remove(name, error);
  return error;
}

}  // namespace netkeep::files
