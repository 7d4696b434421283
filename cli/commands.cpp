#include "cli/commands.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>

#include "cli/console.h"
#include "cli/handlers.h"
#include "platform/text/unicode.h"

namespace netkeep {

void version_command(int, wchar_t**) {
  console::write_line(std::wcout, L"Orbenta Database Tool");
  console::write_line(std::wcout, L"Copyright (C) Corvanta. All rights reserved.");
  console::write_line(std::wcout, L"3.16.4.1526");
}

namespace cli {

const std::vector<command_entry>& command_table() {
  static const std::vector<command_entry> table = {
      {version_command, L"version", nullptr, L"Display version information for this program.", nullptr},
      {verify_command, L"verify", nullptr, L"Generate a report of any problems detected in the Orbenta database.",
       nullptr},
      {repair_command, L"repair", nullptr, L"Repair any detected problems with the Orbenta database.", nullptr},
      {reset_command, L"reset", nullptr, L"Reset the Orbenta database to a newly installed state.", nullptr},
      {export_command, L"export", L"<filename>", L"Export the Orbenta database to a file.", nullptr},
      {import_command, L"import", L"<filename>",
       L"Import the Orbenta database for a file that was previously exported.", nullptr},
  };
  return table;
}

const command_entry& find_command(const std::wstring& word) {
  for (const command_entry& entry : command_table()) {
    if (word == entry.name) return entry;
  }
  throw std::runtime_error("Unrecognized command '" + text::to_utf8(word) + "'.");
}

void print_usage() {
  console::write_line(std::wcerr, L"usage:");
  console::write_line(std::wcerr, L"    netkeep <command> <options>");
  console::write_line(std::wcerr, L"");
  console::write_line(std::wcerr, L"where command is:");
  for (const command_entry& entry : command_table()) {
    console::write_line(std::wcerr, L"");
    console::write_line(std::wcerr, std::wstring(L"  ") + entry.name);
    console::write_line(std::wcerr, std::wstring(L"    ") + entry.description);
  }
}

void print_help(const std::wstring& word) {
  const command_entry& entry = find_command(word);
  console::write_line(std::wcerr, entry.description);
  console::write_line(std::wcerr, L"");
  console::write_line(std::wcerr, L"usage:");
  std::wstring line = std::wstring(L"  netkeep ") + entry.name;
  if (entry.argument_text != nullptr) line += std::wstring(L" ") + entry.argument_text;
  console::write_line(std::wcerr, line);
  if (entry.further_help != nullptr) console::write_line(std::wcerr, entry.further_help);
}

int run(int argc, wchar_t** argv) {
  try {
    if (argc < 2) {
      print_usage();
      return 0;
    }
    const std::wstring command = argv[1];
    if (command == L"help") {
      if (argc >= 3) {
        print_help(argv[2]);
      } else {
        print_usage();
      }
      return 0;
    }
    find_command(command).handler(argc - 2, argv + 2);
    // The results are the command's work too: a full disk behind standard
    // output fails the command.
    std::wcout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      throw std::runtime_error("failed to write the results to standard output");
    }
    return 0;
  } catch (const std::exception& failure) {
    const char* message = failure.what();
    std::wstring text = message != nullptr && *message != '\0' ? text::widen(message) : L"Unknown exception";
    console::write_line(std::wcerr, L"An error occurred: " + text);
    return 1;
  }
}

}  // namespace cli
}  // namespace netkeep
