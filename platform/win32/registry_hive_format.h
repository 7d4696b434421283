#pragma once
// The text format of the hive file: the registry export format ("Windows
// Registry Editor Version 5.00"), restricted to keys below
// HKEY_LOCAL_MACHINE.
//
// Reading accepts that header or "REGEDIT4"; UTF-8 with or without a byte
// order mark and UTF-16LE with one; LF or CRLF line ends; comment lines
// (";"), blank lines; sections "[HKEY_LOCAL_MACHINE\a\b]" (missing parents
// are implied, a repeated section merges into its key) and key deletions
// "[-HKEY_LOCAL_MACHINE\a]"; values "name"="text" (escapes \\ and \" only),
// @= for the default value, dword:xxxxxxxx, hex:... and hex(type):... with
// "\" line continuations, and value deletions "name"=-. An empty file is an
// empty hive.
//
// Writing produces UTF-8 without a byte order mark and LF line ends, every
// key as a section (so keys without values survive), depth first in
// enumeration order, and every value in a form that restores its type and
// bytes exactly: a string only for REG_SZ data that are one clean terminated
// UTF-16 string, dword: only for REG_DWORD data of four bytes, hex otherwise.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win32/registry_tree.h"

namespace win32::registry {

// Parses the bytes of a hive file into a tree whose root stands for
// HKEY_LOCAL_MACHINE. A malformed file throws std::runtime_error with the
// message "<file_name>:<line>: <problem>".
std::unique_ptr<key_node> parse_hive(std::string_view bytes, const std::string& file_name);

// Hands the parser the next bytes of a hive file: puts at most `size` bytes
// at `buffer` and returns how many, 0 at the end of the file; a failure to
// read throws.
using hive_reader = std::function<std::size_t(char* buffer, std::size_t size)>;

// Parses a hive file as parse_hive above, reading it a piece at a time, so
// that the file is never held whole in memory.
std::unique_ptr<key_node> parse_hive(const hive_reader& read, const std::string& file_name);

// Writes the text of the hive file for the tree below `root` by handing it
// to `sink` in pieces of about a megabyte, in order; the whole text is never
// held at once. An exception from `sink` ends the writing.
void write_hive(const key_node& root, const std::function<void(std::string_view)>& sink);

// The whole text of the hive file for the tree below `root`.
std::string format_hive(const key_node& root);

}  // namespace win32::registry
