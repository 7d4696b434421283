#pragma once
// Replacing a file by rename, for every file that netkeep rewrites as a
// whole (the archive, the data files, the hive): the new contents go to a
// temporary file beside the target, which is made durable, given the
// target's owner, group and mode, and renamed over the target. A reader, or
// the file system after a crash, sees either the old file or the whole new
// one, never a partial file.

#include <filesystem>
#include <memory>
#include <ostream>
#include <string_view>
#include <system_error>

namespace netkeep::files {

// Whether `name` (a file name without its folder) is one that only netkeep's
// temporary files have: "netkeep-<16 hexadecimal digits>.tmp" as
// replacement_file makes them, or "netkeep-<digits>-<digits>.tmp" and
// ".probe" as earlier versions made them. Such a file is what a killed
// netkeep left behind.
bool is_temporary_file_name(std::wstring_view name);

// What to do with a target that exists but is neither a regular file nor a
// folder (a pipe, a character device such as /dev/null): it cannot be
// replaced by rename.
enum class other_target { refuse, write_directly };

class replacement_file {
 public:
  // Follows `target` through symbolic links to the file that they name
  // (which need not exist; a new file is created there, the links stay) and
  // creates the temporary file in that file's folder: exclusively (it never
  // opens a file that exists), under an unpredictable name that
  // is_temporary_file_name recognises, and short, so that a target whose
  // name is as long as the file system allows can still be written. The
  // temporary file is at once given the owner, group and mode of the
  // existing target (POSIX; a new target gets the mode that the process's
  // umask gives; on Windows the rename keeps the replaced file's
  // attributes and access control list). A target of `other_target` kind is
  // opened for writing as it is when `others` says so, and then written in
  // place.
  //
  // Throws std::filesystem::filesystem_error ("cannot create a file
  // replacing" with the target and the reason) when the target is a folder,
  // is of another kind and refused, or when the temporary file cannot be
  // created or given the owner and mode.
  explicit replacement_file(const std::filesystem::path& target, other_target others = other_target::refuse);
  // Removes the temporary file unless commit() succeeded.
  ~replacement_file();
  replacement_file(const replacement_file&) = delete;
  replacement_file& operator=(const replacement_file&) = delete;

  // The contents, buffered; a failing write sets the stream's badbit.
  std::ostream& stream();

  // The file that is replaced: the target with its symbolic links followed.
  const std::filesystem::path& target() const { return target_; }

  // Writes out what is buffered, makes the file's contents durable (fsync)
  // and closes it, complete but not yet in place. Throws
  // std::filesystem::filesystem_error ("cannot write" with the target and
  // the reason of the first failure: a full disk, a file size limit) when
  // any of that fails. Does nothing the second time.
  void finish();

  // Finishes the file if that was not done yet, then renames it over the
  // target and makes the rename durable (the folder is synced, where the
  // platform allows it). Throws std::filesystem::filesystem_error ("cannot
  // rename") when the rename fails; the target is then unchanged. A target
  // written in place is only finished.
  void commit();

 private:
  class descriptor_buffer;

  std::filesystem::path target_;     // the file that the links name
  std::filesystem::path temporary_;  // empty when written in place
  std::unique_ptr<descriptor_buffer> buffer_;
  std::ostream out_;
  bool finished_ = false;
  bool committed_ = false;
};

// Creates and removes a temporary file in `folder` as replacement_file does:
// whether files can be created, replaced and removed there. The reason when
// they cannot, else no error.
std::error_code probe_folder(const std::filesystem::path& folder);

}  // namespace netkeep::files
