// Interrupts on POSIX systems: SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the
// listed paths with async-signal-safe calls (unlink, rmdir), then end the
// process by the signal's default action.

#include <signal.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "platform/files/private_folder.h"

namespace netkeep::files::interrupt {
namespace {

constexpr int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Two lists, so that a new list is written while the handler may still read
// the old one; `current` names the one in force (-1: none).
std::vector<std::string> lists[2];
volatile sig_atomic_t current = -1;
std::mutex changing;

void on_signal(int number) {
  const sig_atomic_t index = current;
  if (index >= 0) {
    for (const std::string& path : lists[index]) {
      if (::unlink(path.c_str()) != 0) ::rmdir(path.c_str());
    }
  }
  ::signal(number, SIG_DFL);
  ::raise(number);
}

void install_once() {
  static const bool installed = [] {
    for (int number : signals) {
      struct sigaction action {};
      // A signal that the caller ignores (nohup) stays ignored.
      if (::sigaction(number, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
      action = {};
      action.sa_handler = on_signal;
      sigemptyset(&action.sa_mask);
      for (int other : signals) sigaddset(&action.sa_mask, other);
      ::sigaction(number, &action, nullptr);
    }
    return true;
  }();
  (void)installed;
}

}  // namespace

void remove_on_interrupt(std::vector<std::filesystem::path> paths) {
  std::lock_guard<std::mutex> guard(changing);
  install_once();
  const sig_atomic_t next = current == 0 ? 1 : 0;
  lists[next].clear();
  for (const std::filesystem::path& path : paths) lists[next].push_back(path.string());
  current = next;
}

void clear() {
  std::lock_guard<std::mutex> guard(changing);
  current = -1;
}

}  // namespace netkeep::files::interrupt
