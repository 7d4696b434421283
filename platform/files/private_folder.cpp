#include "platform/files/private_folder.h"

#include <atomic>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define netkeep_process_id _getpid
#else
#include <unistd.h>
#define netkeep_process_id ::getpid
#endif

namespace netkeep::files {

namespace fs = std::filesystem;

private_folder::private_folder(const std::vector<fs::path>& contents) {
  static std::atomic<unsigned> counter{0};
  const fs::path base = fs::temp_directory_path();
  const std::string prefix = "netkeep-" + std::to_string(netkeep_process_id()) + "-";
  for (;;) {
    fs::path candidate = base / (prefix + std::to_string(counter++));
    std::vector<fs::path> removed;
    for (const fs::path& item : contents) removed.push_back(candidate / item);
    removed.push_back(candidate);
    // Listed before it exists, so that no interrupt leaves it behind.
    interrupt::remove_on_interrupt(std::move(removed));
    std::error_code failure;
    if (fs::create_directory(candidate, failure)) {
      fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, failure);
      path_ = std::move(candidate);
      return;
    }
    interrupt::clear();
    if (failure) throw fs::filesystem_error("create_directory", candidate, failure);
  }
}

private_folder::~private_folder() {
  std::error_code ignored;
  // Read-only copies must be writable again to be removed on Windows.
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
  interrupt::clear();
}

}  // namespace netkeep::files
