// Interrupts on Windows: Ctrl-C, Ctrl-Break and the closing of the console
// run a handler on a thread of their own. It removes the listed paths that
// it can; a database that SQLite holds open cannot be removed while open,
// so the handler then lets the command go on to its end, where the folder
// is removed, and the process ends as an interrupted one.

#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/files/private_folder.h"

namespace netkeep::files::interrupt {
namespace {

std::mutex changing;
std::vector<std::filesystem::path> listed;
std::atomic<bool> interrupted{false};

BOOL WINAPI on_control(DWORD) {
  std::lock_guard<std::mutex> guard(changing);
  if (listed.empty()) return FALSE;  // nothing to clean up: the default ending
  bool all_gone = true;
  for (const std::filesystem::path& path : listed) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path.c_str()) && !RemoveDirectoryW(path.c_str())) all_gone = false;
  }
  if (all_gone) return FALSE;
  interrupted = true;
  return TRUE;
}

void install_once() {
  static const bool installed = SetConsoleCtrlHandler(on_control, TRUE) != 0;
  (void)installed;
}

}  // namespace

void remove_on_interrupt(std::vector<std::filesystem::path> paths) {
  std::lock_guard<std::mutex> guard(changing);
  install_once();
  listed = std::move(paths);
}

void clear() {
  std::lock_guard<std::mutex> guard(changing);
  listed.clear();
  if (interrupted) ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace netkeep::files::interrupt
