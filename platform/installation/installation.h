#pragma once
// The installed product that every command but `version` works on: its
// registry key and its data directory, where the databases lie. locate() is
// called at the start of each command handler and leaves this process-wide
// state for the rest of the command.

#include <string>

#include "platform/win32/registry.h"

namespace netkeep::installation {

// HKEY_LOCAL_MACHINE\Software\Corvanta\Orbenta\3.0, relative to the root.
inline constexpr const wchar_t* key_path = L"Software\\Corvanta\\Orbenta\\3.0";

// The open installation key (generic all access), empty when not located.
extern win32::registry::key_handle key;
// The value "path": the installation directory.
extern std::wstring path;
// `path` joined with "data".
extern std::wstring data_directory;
// The value "version"; read and kept, used by no command.
extern std::wstring version;

// Opens the installation key and reads "path" and "version". Throws
// std::runtime_error("Orbenta installation not found.") when the key cannot
// be opened, and win32::error when a value is missing or too long for its
// buffer (520 bytes for "path", 64 for "version"), and
// std::runtime_error when "path" is empty or not absolute (the key is then
// closed again).
void locate();

// locate() with `machine` in place of HKEY_LOCAL_MACHINE: the installation
// key is key_path below it (for an installation held in a memory tree, such
// as an archive's).
void locate(win32::registry::raw_key machine);

// Makes the registry changes of the command durable (flush_key on the key).
// Only a command that succeeded calls it. Throws what the flush throws.
void write_back();

// Closes the key (it stays empty; nothing happens when it is empty). Changes
// that write_back() did not make durable are given up where the registry
// holds them in memory (win32::registry::discard_changes), so that a failed
// command does not write back a registry that it changed half-way.
void close() noexcept;

// Joins a directory and a name by the platform's rule: a separator (a
// backslash on Windows, a slash elsewhere) is inserted unless the directory
// already ends with one.
std::wstring join_path(const std::wstring& directory, const std::wstring& name);

}  // namespace netkeep::installation
