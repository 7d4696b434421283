// netkeep: the offline database tool of the Orbenta satellite-network
// management system.

#include <csignal>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "platform/memory/heap.h"
#include "platform/sqlite/sqlite.h"
#include "platform/text/unicode.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  netkeep::memory::keep_freed_memory();
  sqlite::use_each_connection_from_one_thread_at_a_time();
  netkeep::console::install();
  return netkeep::cli::run(argc, argv);
}
#else
int main(int argc, char** argv) {
  netkeep::memory::restart_with_large_page_heap(argv);
  // A write past the file size limit then fails with EFBIG, which the command
  // reports as its error, instead of ending the process without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  netkeep::memory::keep_freed_memory();
  sqlite::use_each_connection_from_one_thread_at_a_time();
  netkeep::console::install();
  // The words keep their bytes: a file name that is not UTF-8 names the
  // same file when it reaches the file system.
  std::vector<std::wstring> words;
  for (int i = 0; i < argc; ++i) words.push_back(netkeep::text::from_file_name_bytes(argv[i]));
  std::vector<wchar_t*> pointers;
  for (std::wstring& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return netkeep::cli::run(argc, pointers.data());
}
#endif
