#pragma once
// The console streams. The program writes all its output to std::wcout and
// std::wcerr; install() makes them write UTF-8 to the process's standard
// output and standard error, whatever the C locale, so that no character can
// put a stream into a failed state. On Windows, a stream that is a console
// window gets the UTF-16 text through the console's own wide call instead,
// and one that is a file or a pipe gets the same bytes as elsewhere: UTF-8
// with bare line feeds.

#include <cstdio>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string_view>

namespace netkeep::console {

// A wide stream buffer that writes to `file` as described above, without
// buffering of its own. A character above U+FFFF written as two UTF-16 code
// units in two writes comes out as that one character.
std::unique_ptr<std::wstreambuf> make_buffer(std::FILE* file);

void install();

// Writes the text and a line end, then flushes: how every line of the
// program ends.
void write_line(std::wostream& stream, std::wstring_view text);

}  // namespace netkeep::console
