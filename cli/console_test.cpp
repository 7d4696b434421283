#include "cli/console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/text/unicode.h"

namespace netkeep::console {
namespace {

// Writes through a console buffer onto a temporary file and returns the
// bytes that reached the file.
template <class Write>
std::string bytes_written(Write write) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  {
    std::unique_ptr<std::wstreambuf> buffer = make_buffer(file);
    std::wostream stream(buffer.get());
    write(stream);
    stream.flush();
  }
  std::string bytes;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) bytes += static_cast<char>(c);
  std::fclose(file);
  return bytes;
}

TEST(Console, WritesUtf8WithBareLineFeeds) {
  std::string bytes = bytes_written([](std::wostream& out) { write_line(out, L"caf\u00e9 \u6e2f\r"); });
  EXPECT_EQ(bytes, "caf\xc3\xa9 \xe6\xb8\xaf\r\n");
}

TEST(Console, JoinsASurrogatePairWrittenOneCodeUnitAtATime) {
  // U+1F6F0 (satellite) is two code units where wchar_t is UTF-16, one where
  // it is 32 bits wide; written unit by unit, it must stay one character.
  std::wstring satellite = text::from_utf16(u"\U0001F6F0");
  std::string bytes = bytes_written([&](std::wostream& out) {
    for (wchar_t unit : satellite) out.put(unit);
    out << L'!';
    out.put(static_cast<wchar_t>(0xD83D));  // a lone first half is a replacement character
    out << L"\n";
  });
  EXPECT_EQ(bytes, "\xf0\x9f\x9b\xb0!\xef\xbf\xbd\n");
}

}  // namespace
}  // namespace netkeep::console
