#include "archive/archive_format.h"

#include <cstring>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "platform/text/unicode.h"

namespace netkeep::archive {
namespace {

[[noreturn]] void fail(const char* message) { throw std::runtime_error(message); }

}  // namespace

void archive_writer::write_bytes(const void* bytes, std::size_t count) {
  out_.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
  if (!out_) fail("failed to write to file");
}

void archive_writer::write_u32(std::uint32_t number) {
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
      static_cast<unsigned char>(number >> 16), static_cast<unsigned char>(number >> 24)};
  write_bytes(bytes, sizeof bytes);
}

void archive_writer::write_header(std::uint32_t version) {
  write_bytes(magic.data(), magic.size());
  write_u32(version);
}

void archive_writer::append_name(std::wstring_view name, std::size_t limit) {
  // The units are encoded first; the length before them is known after.
  const std::size_t start = record_.size();
  record_.append(2, '\0');
  text::append_utf16le(record_, name);
  const std::size_t length = (record_.size() - start - 2) / 2;
  if (length >= limit || length > 0xFFFF) {
    record_.resize(start);
    fail("string buffer overflow");
  }
  record_[start] = static_cast<char>(length & 0xFF);
  record_[start + 1] = static_cast<char>(length >> 8);
}

void archive_writer::append_u32(std::uint32_t number) {
  const char bytes[4] = {static_cast<char>(number), static_cast<char>(number >> 8), static_cast<char>(number >> 16),
                         static_cast<char>(number >> 24)};
  record_.append(bytes, sizeof bytes);
}

void archive_writer::write_name(std::wstring_view name, std::size_t limit) {
  record_.clear();
  append_name(name, limit);
  write_bytes(record_.data(), record_.size());
}

void archive_writer::write_end_of_list() {
  const unsigned char zero[2] = {0, 0};
  write_bytes(zero, sizeof zero);
}

void archive_writer::write_value(std::wstring_view name, std::uint32_t type, std::string_view data) {
  // One write for the whole record: values are many and small.
  record_.clear();
  append_name(name, registry_name_limit);
  append_u32(type);
  append_u32(static_cast<std::uint32_t>(data.size()));
  record_.append(data);
  write_bytes(record_.data(), record_.size());
}

bool archive_reader::refill() {
  block_.resize(block_bytes);
  in_.read(block_.data(), static_cast<std::streamsize>(block_.size()));
  next_ = 0;
  end_ = static_cast<std::size_t>(in_.gcount());
  // A block cut short by the end of the file leaves the stream failed;
  // cleared, it can still tell its position and seek.
  if (end_ < block_.size() && in_.eof()) in_.clear();
  return end_ > 0;
}

void archive_reader::read_bytes(void* bytes, std::size_t count) {
  char* out = static_cast<char*>(bytes);
  while (count > 0) {
    if (next_ == end_ && count >= block_bytes) {
      // Large data go straight to their place.
      in_.read(out, static_cast<std::streamsize>(count));
      if (static_cast<std::size_t>(in_.gcount()) != count) fail("failed to read from file");
      return;
    }
    if (next_ == end_ && !refill()) fail("failed to read from file");
    const std::size_t chunk = count < end_ - next_ ? count : end_ - next_;
    std::memcpy(out, block_.data() + next_, chunk);
    next_ += chunk;
    out += chunk;
    count -= chunk;
  }
}

std::streamoff archive_reader::position() {
  const std::streamoff read_ahead = in_.tellg();
  if (read_ahead < 0) return -1;
  return read_ahead - static_cast<std::streamoff>(end_ - next_);
}

void archive_reader::skip(std::uint64_t count) {
  if (count <= end_ - next_) {
    next_ += static_cast<std::size_t>(count);
    return;
  }
  const std::streamoff target = position() + static_cast<std::streamoff>(count);
  next_ = end_ = 0;
  in_.seekg(target, std::ios::beg);
}

std::uint32_t archive_reader::read_u32() {
  unsigned char bytes[4];
  read_bytes(bytes, sizeof bytes);
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint32_t archive_reader::read_header() {
  char found[magic.size()];
  read_bytes(found, sizeof found);
  if (std::string_view(found, sizeof found) != magic) fail("The specified file is not an exported database.");
  const std::uint32_t version = read_u32();
  if (version > current_version) fail("Unsupported netkeep archive format.");
  return version;
}

bool archive_reader::append_name(std::size_t limit, std::wstring& out) {
  unsigned char prefix[2];
  read_bytes(prefix, sizeof prefix);
  const std::size_t length = prefix[0] | static_cast<std::size_t>(prefix[1]) << 8;
  if (length >= limit) fail("string buffer overflow");
  if (length == 0) return false;
  units_.resize(length * 2);
  read_bytes(units_.data(), units_.size());
  text::append_from_utf16le(out, units_);
  return true;
}

std::wstring archive_reader::read_name(std::size_t limit) {
  std::wstring name;
  append_name(limit, name);
  return name;
}

void archive_reader::append_value_data(std::string& out) {
  const std::uint32_t size = read_u32();
  if (size >= value_size_limit) fail("unexpectedly large registry value >16MB");
  const std::size_t start = out.size();
  out.resize(start + size);
  try {
    read_bytes(out.data() + start, size);
  } catch (...) {
    out.resize(start);
    throw;
  }
}

void copy_contents(std::istream& in, std::ostream& out, std::uint64_t count) {
  std::vector<char> buffer(static_cast<std::size_t>(count < copy_chunk_bytes ? count : copy_chunk_bytes));
  while (count > 0) {
    const std::size_t chunk = static_cast<std::size_t>(count < buffer.size() ? count : buffer.size());
    in.read(buffer.data(), static_cast<std::streamsize>(chunk));
    if (static_cast<std::size_t>(in.gcount()) != chunk) fail("unexpected");
    out.write(buffer.data(), static_cast<std::streamsize>(chunk));
    if (!out) fail("unexpected");
    count -= chunk;
  }
}

}  // namespace netkeep::archive
