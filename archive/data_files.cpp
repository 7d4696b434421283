#include "archive/data_files.h"

#include <algorithm>

#include "archive/fixed_tables.h"
#include "platform/files/replacement_file.h"
#include "platform/text/unicode.h"

namespace netkeep {
namespace {

namespace fs = std::filesystem;

std::wstring name_of(const fs::directory_entry& entry) { return text::from_path(entry.path().filename()); }

// The folder's entries in ordinal order of their names, so that archives do
// not depend on the order that a file system lists them in.
std::vector<fs::directory_entry> sorted_listing(const fs::path& folder) {
  std::vector<fs::directory_entry> entries{fs::directory_iterator(folder), fs::directory_iterator()};
  std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
    return text::compare_utf16(name_of(a), name_of(b)) < 0;
  });
  return entries;
}

void add_folder(const fs::path& folder, const std::wstring& archive_prefix, bool with_subfolders,
                std::vector<data_file>& files) {
  for (const fs::directory_entry& entry : sorted_listing(folder)) {
    const std::wstring archive_name = archive_prefix + L'\\' + name_of(entry);
    if (entry.is_regular_file()) {
      if (netkeep::files::is_temporary_file_name(name_of(entry))) continue;
      files.push_back({entry.path(), archive_name});
    } else if (with_subfolders && entry.is_directory() && !entry.is_symlink()) {
      add_folder(entry.path(), archive_name, with_subfolders, files);
    }
  }
}

}  // namespace

std::vector<data_file> list_data_files(const fs::path& data_directory,
                                       const std::vector<std::wstring_view>& extensions) {
  std::vector<data_file> files;
  if (fs::is_directory(data_directory)) {
    for (const fs::directory_entry& entry : sorted_listing(data_directory)) {
      if (!entry.is_regular_file()) continue;
      const std::wstring extension = text::from_path(entry.path().extension());
      if (std::find(extensions.begin(), extensions.end(), extension) != extensions.end()) {
        files.push_back({entry.path(), name_of(entry)});
      }
    }
  }
  for (const exported_directory& row : exported_directories) {
    const fs::path folder = data_directory / text::to_path(row.name);
    if (fs::is_directory(folder)) add_folder(folder, std::wstring(row.name), row.with_subfolders, files);
  }
  return files;
}

std::vector<fs::path> list_leftover_files(const fs::path& data_directory) {
  std::vector<fs::path> found;
  const auto add = [&found](const fs::directory_entry& entry) {
    if (entry.is_regular_file() && files::is_temporary_file_name(text::from_path(entry.path().filename()))) {
      found.push_back(entry.path());
    }
  };
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::directory_iterator(data_directory, ignored)) add(entry);
  for (const exported_directory& row : exported_directories) {
    const fs::path folder = data_directory / text::to_path(row.name);
    for (auto entry = fs::recursive_directory_iterator(folder, ignored); entry != fs::recursive_directory_iterator();
         entry.increment(ignored)) {
      add(*entry);
    }
  }
  return found;
}

}  // namespace netkeep
