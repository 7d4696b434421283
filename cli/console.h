#pragma once
// The console streams. The program writes all its output to std::wcout and
// std::wcerr; install() makes them write UTF-8 to the process's standard
// output and standard error, whatever the C locale, so that no character can
// put a stream into a failed state.

#include <ostream>
#include <string_view>

namespace netkeep::console {

void install();

// Writes the text and a line end, then flushes: how every line of the
// program ends.
void write_line(std::wostream& stream, std::wstring_view text);

}  // namespace netkeep::console
