#pragma once
// A folder of the process's own below the system's temporary folder, for
// copies that a command works on and that nobody else may see or change. It
// is removed with everything in it when its owner ends, and also when the
// process is interrupted (Ctrl-C, a terminating signal) while it exists.

#include <filesystem>
#include <string>
#include <vector>

namespace netkeep::files {

class private_folder {
 public:
  // Creates a new folder "netkeep-<process id>-<n>" below the system's
  // temporary folder, open to its owner only. `contents`: every file and
  // folder that may come to lie in it, relative to it, each folder after
  // the files in it; an interrupt removes exactly these, then the folder
  // (the removal there cannot list folders). Throws
  // std::filesystem::filesystem_error when the folder cannot be created.
  explicit private_folder(const std::vector<std::filesystem::path>& contents);
  ~private_folder();
  private_folder(const private_folder&) = delete;
  private_folder& operator=(const private_folder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

namespace interrupt {

// The paths that an interrupt removes, in order, before the process ends;
// set by private_folder, empty when none exists. Platform part
// (private_folder-posix.cpp, private_folder-win32.cpp): installs the
// platform's interrupt handling on first use.
void remove_on_interrupt(std::vector<std::filesystem::path> paths);
void clear();

}  // namespace interrupt
}  // namespace netkeep::files
