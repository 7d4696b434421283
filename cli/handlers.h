#pragma once
// The command handlers of the command table. Each takes the count of the
// words after the command word and a pointer to the first of them.

namespace netkeep {

void version_command(int count, wchar_t** words);  // cli/commands.cpp
void verify_command(int count, wchar_t** words);   // report/verify_command.cpp
void repair_command(int count, wchar_t** words);   // report/repair_command.cpp
void reset_command(int count, wchar_t** words);    // reset/reset_command.cpp
void export_command(int count, wchar_t** words);   // archive/export_command.cpp
void import_command(int count, wchar_t** words);   // archive/import_command.cpp

}  // namespace netkeep
