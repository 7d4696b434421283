#pragma once
// A file that replaces its target only once it is complete: it is written
// beside the target under a temporary name and renamed over the target at
// the end, so that the target is always either the old file or the whole new
// one, never a partial file.

#include <filesystem>
#include <fstream>
#include <string_view>

namespace netkeep {

// "netkeep-<process id>-<n><extension>" in `folder`, where n counts the names
// made by the process: a short name that no other process or earlier call
// uses, for files of this process's own.
std::filesystem::path own_file_name(const std::filesystem::path& folder, std::string_view extension);

class replacement_file {
 public:
  // Creates own_file_name(<the target's folder>, ".tmp") for binary writing
  // (a short name, so that a target whose name is as long as the file system
  // allows can still be written, and a distinct one for each file, so that
  // several can wait side by side). Throws std::runtime_error("failed to open file")
  // when it cannot be created or when the target is a folder.
  explicit replacement_file(std::filesystem::path target);
  // Removes the temporary file unless commit() succeeded.
  ~replacement_file();
  replacement_file(const replacement_file&) = delete;
  replacement_file& operator=(const replacement_file&) = delete;

  std::ostream& stream() { return out_; }

  // Closes the temporary file, complete but not yet in place. Throws
  // std::runtime_error(close_failure) when the close (the last write) fails.
  void finish(const char* close_failure);

  // Finishes the file if that was not done yet, then renames it over the
  // target. Throws std::filesystem::filesystem_error when the rename fails.
  void commit(const char* close_failure);

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::ofstream out_;
  bool finished_ = false;
  bool committed_ = false;
};

}  // namespace netkeep
