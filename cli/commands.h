#pragma once
// The command table, usage and help texts, and the entry point's dispatch.

#include <string>
#include <vector>

namespace netkeep::cli {

struct command_entry {
  void (*handler)(int count, wchar_t** words);
  const wchar_t* name;
  const wchar_t* argument_text;  // shown by help after the name, or null
  const wchar_t* description;
  const wchar_t* further_help;   // printed by help after the usage line, or null
};

// The six commands, in the order of the usage text.
const std::vector<command_entry>& command_table();

// The first row whose name equals `word` exactly; throws
// std::runtime_error("Unrecognized command '<word>'.") when none does.
const command_entry& find_command(const std::wstring& word);

void print_usage();
void print_help(const std::wstring& word);

// The entry point: dispatches the wide command line (word 0 is the
// program's path) and reports any failure with one error line on standard
// error. Returns the exit status: 1 when the error line was written, else 0.
int run(int argc, wchar_t** argv);

}  // namespace netkeep::cli
