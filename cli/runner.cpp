#include "cli/runner.h"

#include <chrono>
#include <future>
#include <iostream>
#include <stdexcept>

#include "platform/installation/installation.h"

namespace netkeep::cli {

void run_phase(const std::wstring& verb, const std::function<void()>& work) {
  static constexpr wchar_t spinner[] = L".oOo";
  std::future<void> task = std::async(std::launch::async, work);
  std::size_t i = 0;
  while (task.wait_for(std::chrono::milliseconds(125)) != std::future_status::ready) {
    i = (i + 1) % 4;
    std::wcerr << L'\r' << verb << spinner[i];
    std::wcerr.flush();
  }
  std::wcerr << L'\r' << std::wstring(verb.size() + 1, L' ') << L'\r';
  std::wcerr.flush();
  task.get();
}

void run_handler(int count, wchar_t** words, bool needs_file_name,
                 const std::function<void(const std::wstring& file_name)>& body) {
  try {
    installation::locate();
    if (needs_file_name && count < 1) throw std::runtime_error("expected filename");
    body(needs_file_name ? std::wstring(words[0]) : std::wstring());
    installation::write_back();
  } catch (...) {
    installation::close();
    throw;
  }
  installation::close();
}

}  // namespace netkeep::cli
