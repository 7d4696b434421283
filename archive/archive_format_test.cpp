#include "archive/archive_format.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/text/unicode.h"

namespace netkeep::archive {
namespace {

using namespace std::string_literals;

// Little-endian building blocks of expected archives.
std::string u16(unsigned n) { return {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF)}; }
std::string u32(std::uint32_t n) { return u16(n & 0xFFFF) + u16(n >> 16); }
std::string name(const std::string& ascii) {
  std::string out = u16(static_cast<unsigned>(ascii.size()));
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// The data of a value record, as import reads them.
std::string value_data(archive_reader& in) {
  std::string data;
  in.append_value_data(data);
  return data;
}

std::string message_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no exception)";
}

TEST(ArchiveWriter, WritesRecordsLittleEndianWithUtf16Names) {
  std::ostringstream bytes;
  archive_writer out(bytes);
  out.write_header();
  out.write_value(L"version", 1, "3\0.\0"s);
  out.write_end_of_list();
  out.write_name(L"K\u00e9\U0001F600", registry_name_limit);
  out.write_u32(0x01020304);
  out.write_end_of_list();

  EXPECT_EQ(bytes.str(), "ORBDBCPP" + u32(2) + name("version") + u32(1) + u32(4) + "3\0.\0"s + u16(0) +
                             u16(4) + "K\0\xe9\0\x3d\xd8\x00\xde"s + "\x04\x03\x02\x01"s + u16(0));
}

TEST(ArchiveWriter, RefusesNamesThatAReaderWouldRefuse) {
  std::ostringstream bytes;
  archive_writer out(bytes);
  out.write_name(std::wstring(255, L'k'), registry_name_limit);
  EXPECT_EQ(bytes.str().size(), 2u + 510u);
  EXPECT_EQ(message_of([&] { out.write_name(std::wstring(256, L'k'), registry_name_limit); }),
            "string buffer overflow");
  EXPECT_EQ(message_of([&] { out.write_name(std::wstring(260, L'f'), file_name_limit); }), "string buffer overflow");
  EXPECT_EQ(bytes.str().size(), 2u + 510u) << "nothing written for a refused name";
}

TEST(ArchiveWriter, AFailingStreamIsAWriteFailure) {
  std::ostringstream bytes;
  bytes.setstate(std::ios::badbit);
  archive_writer out(bytes);
  EXPECT_EQ(message_of([&] { out.write_header(); }), "failed to write to file");
  EXPECT_EQ(message_of([&] { out.write_end_of_list(); }), "failed to write to file");
}

TEST(ArchiveReader, ReadsTheSmallestArchive) {
  const std::string smallest = "ORBDBCPP" + u32(2) + u16(0) + u16(0) + u16(0);
  ASSERT_EQ(smallest.size(), 18u);
  std::istringstream bytes(smallest);
  archive_reader in(bytes);
  EXPECT_EQ(in.read_header(), 2u);
  for (int list = 0; list < 3; ++list) EXPECT_EQ(in.read_name(registry_name_limit), L"");
}

TEST(ArchiveReader, AcceptsVersionsZeroToTwoAndRefusesLaterOnesAndOtherMagic) {
  for (std::uint32_t version : {0u, 1u, 2u}) {
    std::istringstream bytes("ORBDBCPP" + u32(version));
    archive_reader in(bytes);
    EXPECT_EQ(in.read_header(), version);
  }
  for (std::uint32_t version : {3u, 0x100u, 0xFFFFFFFFu}) {
    std::istringstream bytes("ORBDBCPP" + u32(version));
    archive_reader in(bytes);
    EXPECT_EQ(message_of([&] { in.read_header(); }), "Unsupported netkeep archive format.") << version;
  }
  std::istringstream lower("orbdbcpp" + u32(2));
  archive_reader lower_reader(lower);
  EXPECT_EQ(message_of([&] { lower_reader.read_header(); }), "The specified file is not an exported database.");
}

TEST(ArchiveReader, AHeaderCutShortIsAReadFailure) {
  const std::string header = "ORBDBCPP" + u32(2);
  for (std::size_t length = 0; length < header.size(); ++length) {
    std::istringstream bytes(header.substr(0, length));
    archive_reader in(bytes);
    EXPECT_EQ(message_of([&] { in.read_header(); }), "failed to read from file") << length;
  }
  // Eight bytes that are not the magic are refused before the version.
  std::istringstream other("NOTANARC");
  archive_reader in(other);
  EXPECT_EQ(message_of([&] { in.read_header(); }), "The specified file is not an exported database.");
}

TEST(ArchiveReader, ReadsValueRecords) {
  std::istringstream bytes(name("Count") + u32(4) + u32(4) + u32(7) + name("Empty") + u32(3) + u32(0) + u16(0));
  archive_reader in(bytes);
  EXPECT_EQ(in.read_name(registry_name_limit), L"Count");
  EXPECT_EQ(in.read_u32(), 4u);
  EXPECT_EQ(value_data(in), u32(7));
  EXPECT_EQ(in.read_name(registry_name_limit), L"Empty");
  EXPECT_EQ(in.read_u32(), 3u);
  EXPECT_EQ(value_data(in), "");
  EXPECT_EQ(in.read_name(registry_name_limit), L"");
}

TEST(ArchiveReader, NamesReadBackAsWrittenOneAfterTheOther) {
  // The index appends every name and every value's data to one buffer each;
  // surrogate pairs must come back as the character written, a lone
  // surrogate as itself, and an end of list must add nothing.
  const std::vector<std::wstring> names = {L"K\u00e9\U0001F600", std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x",
                                           std::wstring(255, L'n')};
  std::ostringstream written;
  archive_writer out(written);
  for (const std::wstring& text : names) out.write_value(text, 1, "data of " + netkeep::text::to_utf8(text));
  out.write_end_of_list();

  std::istringstream bytes(written.str());
  archive_reader in(bytes);
  std::wstring all_names = L"before";
  std::string all_data = "before";
  for (std::size_t i = 0; i < names.size(); ++i) {
    ASSERT_TRUE(in.append_name(registry_name_limit, all_names));
    EXPECT_EQ(in.read_u32(), 1u);
    in.append_value_data(all_data);
  }
  EXPECT_FALSE(in.append_name(registry_name_limit, all_names));
  EXPECT_EQ(all_names, L"before" + names[0] + names[1] + names[2]);
  EXPECT_EQ(all_data, "before" + ("data of " + netkeep::text::to_utf8(names[0])) +
                          ("data of " + netkeep::text::to_utf8(names[1])) + ("data of " + netkeep::text::to_utf8(names[2])));
}

TEST(ArchiveReader, EnforcesNameAndValueLimitsBeforeReadingTheData) {
  // Only the length is present: a refused length must not try to read on.
  std::istringstream registry_name(u16(256));
  archive_reader registry_reader(registry_name);
  EXPECT_EQ(message_of([&] { registry_reader.read_name(registry_name_limit); }), "string buffer overflow");

  std::istringstream longest_key(u16(255) + std::string(510, 'a'));
  archive_reader longest_key_reader(longest_key);
  EXPECT_EQ(longest_key_reader.read_name(registry_name_limit).size(), 255u);

  std::istringstream file_name(u16(260));
  archive_reader file_reader(file_name);
  EXPECT_EQ(message_of([&] { file_reader.read_name(file_name_limit); }), "string buffer overflow");

  std::istringstream longest_file(u16(259) + std::string(518, 'a'));
  archive_reader longest_file_reader(longest_file);
  EXPECT_EQ(longest_file_reader.read_name(file_name_limit).size(), 259u);

  std::istringstream large(u32(0x40000));
  archive_reader large_reader(large);
  EXPECT_EQ(message_of([&] { value_data(large_reader); }), "unexpectedly large registry value >16MB");

  std::istringstream largest(u32(0x3FFFF) + std::string(0x3FFFF, 'x'));
  archive_reader largest_reader(largest);
  EXPECT_EQ(value_data(largest_reader).size(), 0x3FFFFu);
}

TEST(ArchiveReader, ARecordCutShortIsAReadFailure) {
  const std::string record = name("Name") + u32(1) + u32(2) + "x\0"s;
  // Cut inside the length, the characters, the type, the size and the data.
  for (std::size_t length : {1u, 3u, 10u, 12u, 17u, 19u}) {
    std::istringstream bytes(record.substr(0, length));
    archive_reader in(bytes);
    EXPECT_EQ(message_of([&] {
                in.read_name(registry_name_limit);
                in.read_u32();
                value_data(in);
              }),
              "failed to read from file")
        << length;
  }
}

TEST(ArchiveReader, ReadsAheadInBlocksYetTellsAndSkipsAsTheStreamWould) {
  // Records that straddle the reader's blocks, value data larger than a
  // block, and file contents skipped within a block and past it.
  std::string bytes;
  for (int i = 0; i < 3000; ++i) bytes += name("Value" + std::to_string(i)) + u32(1) + u32(4) + u32(i);
  const std::string large(100 * 1024, 'L');
  bytes += name("Large") + u32(3) + u32(static_cast<std::uint32_t>(large.size())) + large;
  const std::size_t first_contents = bytes.size() + name("a.db").size() + 4;
  bytes += name("a.db") + u32(10) + "0123456789";
  const std::string far(200 * 1024, 'F');
  const std::size_t second_contents = bytes.size() + name("b.db").size() + 4;
  bytes += name("b.db") + u32(static_cast<std::uint32_t>(far.size())) + far + u16(0);

  std::istringstream stream(bytes);
  archive_reader in(stream);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(in.read_name(registry_name_limit), L"Value" + std::to_wstring(i));
    ASSERT_EQ(in.read_u32(), 1u);
    ASSERT_EQ(value_data(in), u32(i));
  }
  EXPECT_EQ(in.read_name(registry_name_limit), L"Large");
  EXPECT_EQ(in.read_u32(), 3u);
  EXPECT_EQ(value_data(in), large);
  EXPECT_EQ(in.read_name(file_name_limit), L"a.db");
  EXPECT_EQ(in.read_u32(), 10u);
  EXPECT_EQ(in.position(), static_cast<std::streamoff>(first_contents));
  in.skip(10);
  EXPECT_EQ(in.read_name(file_name_limit), L"b.db");
  EXPECT_EQ(in.read_u32(), far.size());
  EXPECT_EQ(in.position(), static_cast<std::streamoff>(second_contents));
  in.skip(far.size());
  EXPECT_EQ(in.position(), static_cast<std::streamoff>(bytes.size() - 2));
  EXPECT_EQ(in.read_name(file_name_limit), L"");
  EXPECT_EQ(in.position(), static_cast<std::streamoff>(bytes.size()));
  EXPECT_EQ(message_of([&] { in.read_u32(); }), "failed to read from file");
}

TEST(CopyContents, CopiesExactlyTheCountAcrossChunks) {
  std::string contents(copy_chunk_bytes * 2 + 17, '\0');
  for (std::size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>(i * 7);
  std::istringstream in(contents + "next record");
  std::ostringstream out;
  copy_contents(in, out, contents.size());
  EXPECT_EQ(out.str(), contents);
  std::string rest;
  std::getline(in, rest);
  EXPECT_EQ(rest, "next record");

  std::istringstream empty("");
  std::ostringstream nothing;
  copy_contents(empty, nothing, 0);
  EXPECT_EQ(nothing.str(), "");
}

TEST(CopyContents, ContentsCutShortOrNotWrittenAreUnexpected) {
  std::istringstream short_in(std::string(copy_chunk_bytes + 5, 'a'));
  std::ostringstream out;
  EXPECT_EQ(message_of([&] { copy_contents(short_in, out, copy_chunk_bytes + 6); }), "unexpected");

  std::istringstream in("abc");
  std::ostringstream failing;
  failing.setstate(std::ios::badbit);
  EXPECT_EQ(message_of([&] { copy_contents(in, failing, 3); }), "unexpected");
}

}  // namespace
}  // namespace netkeep::archive
