#pragma once
// The byte layout of an export archive, read and written record by record.
//
//   archive        = header [value list (versions 1, 2)] key list file list
//   header         = "ORBDBCPP" version:u32
//   value list     = value_record* end
//   key list       = key_record* end
//   file list      = file_record* end
//   value_record   = name type:u32 size:u32 data[size]
//   key_record     = name value list key list
//   file_record    = name size:u32 data[size]
//   name           = length:u16 utf16le[length]   (length 0 is `end`)
//
// Integers are little-endian and unsigned; there is no padding. Names inside
// the archive join path components with backslashes, whatever the platform.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace netkeep::archive {

inline constexpr std::string_view magic = "ORBDBCPP";
// The version that the writer writes; readers accept 0 up to this one.
// Version 0 lacks the installation key's own value list.
inline constexpr std::uint32_t current_version = 2;

// Reader limits: a name this long (in UTF-16 code units) or longer, or value
// data this large or larger, is refused.
inline constexpr std::size_t registry_name_limit = 256;
inline constexpr std::size_t file_name_limit = 260;
inline constexpr std::uint32_t value_size_limit = 0x40000;

// File contents are copied in chunks of this many bytes.
inline constexpr std::size_t copy_chunk_bytes = 0x40000;

// Writes records to a binary stream. Every write that fails throws
// std::runtime_error("failed to write to file").
class archive_writer {
 public:
  explicit archive_writer(std::ostream& out) : out_(out) {}

  // The magic and `version`.
  void write_header(std::uint32_t version = current_version);

  // An archive_string. A name of `limit` or more UTF-16 code units, which a
  // reader would refuse, throws std::runtime_error("string buffer overflow")
  // before anything is written.
  void write_name(std::wstring_view name, std::size_t limit);

  // The name of length 0 that ends a value, key or file list.
  void write_end_of_list();

  // A value_record. `name` must not be empty.
  void write_value(std::wstring_view name, std::uint32_t type, std::string_view data);

  void write_u32(std::uint32_t number);

  // The stream itself, for copying file contents after their size.
  std::ostream& stream() { return out_; }

 private:
  void write_bytes(const void* bytes, std::size_t count);
  // Add to record_; append_name throws as write_name does, adding nothing.
  void append_name(std::wstring_view name, std::size_t limit);
  void append_u32(std::uint32_t number);

  std::ostream& out_;
  std::string record_;  // the record being written, reused
};

// Reads records from a binary stream, strictly front to back. A read that
// ends early throws std::runtime_error("failed to read from file"). The
// stream is read ahead in blocks, so that the many small fields of the
// registry part cost a copy each rather than a stream call; position() and
// skip() stand for tellg() and seekg() on the stream.
class archive_reader {
 public:
  explicit archive_reader(std::istream& in) : in_(in) {}

  // Reads and checks the header and returns the archive's version. Throws
  // "The specified file is not an exported database." for another magic and
  // "Unsupported netkeep archive format." for a version above
  // current_version.
  std::uint32_t read_header();

  // An archive_string; empty for the end of a list. A length of `limit` or
  // more throws std::runtime_error("string buffer overflow") before its
  // characters are read.
  std::wstring read_name(std::size_t limit);

  // read_name, appending the name to `out`; false (nothing appended) for the
  // end of a list. Reading many names this way allocates little.
  bool append_name(std::size_t limit, std::wstring& out);

  std::uint32_t read_u32();

  // The size and data of a value_record, after its name and type, appended
  // to `out`. Data of value_size_limit bytes or more throw
  // std::runtime_error("unexpectedly large registry value >16MB") before
  // they are read.
  void append_value_data(std::string& out);

  // The offset from the stream's start of the next byte to be read, or -1
  // when the stream cannot tell.
  std::streamoff position();

  // Moves `count` bytes forward without reading them (file contents, which
  // the caller knows to be there).
  void skip(std::uint64_t count);

 private:
  static constexpr std::size_t block_bytes = 64 * 1024;

  void read_bytes(void* bytes, std::size_t count);
  // Reads the next block; false at the end of the stream.
  bool refill();

  std::istream& in_;
  std::string units_;  // of the name being read, reused
  std::string block_;  // read ahead; [next_, end_) not yet handed out
  std::size_t next_ = 0;
  std::size_t end_ = 0;
};

// Copies exactly `count` bytes from `in` to `out` in chunks of
// copy_chunk_bytes. A chunk that cannot be read or written in full throws
// std::runtime_error("unexpected").
void copy_contents(std::istream& in, std::ostream& out, std::uint64_t count);

}  // namespace netkeep::archive
