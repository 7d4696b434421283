#pragma once
// The files of the data directory that export copies and reset deletes.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace netkeep {

struct data_file {
  std::filesystem::path path;
  // The path relative to the data directory, components joined by
  // backslashes on every platform: the file's name inside an archive.
  std::wstring archive_name;
};

// Lists, in this order: the regular files directly in `data_directory` whose
// extension is exactly one of `extensions` (for example L".db"); then, for
// each row of exported_directories in table order, every regular file of
// that folder, with its subfolders' files when the row includes them, a
// subfolder's files taken where the listing reaches it (depth first).
// Every listing is in ascending ordinal order of the UTF-16 names. A folder
// that does not exist contributes nothing; a folder that cannot be listed
// throws std::filesystem::filesystem_error. Symbolic links to folders inside
// the exported folders are not followed.
// Files of netkeep's own temporary names (files::is_temporary_file_name), the
// leftovers of a killed command, are never listed.
std::vector<data_file> list_data_files(const std::filesystem::path& data_directory,
                                       const std::vector<std::wstring_view>& extensions);

// The files of netkeep's own temporary names directly in `data_directory`
// and anywhere below its exported_directories: what a killed import or
// export left there. Folders that cannot be listed contribute nothing.
std::vector<std::filesystem::path> list_leftover_files(const std::filesystem::path& data_directory);

}  // namespace netkeep
