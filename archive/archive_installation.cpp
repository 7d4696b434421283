#include "archive/archive_installation.h"

#include <algorithm>
#include <cwctype>
#include <fstream>
#include <stdexcept>

#include "archive/archive_format.h"
#include "archive/archive_index.h"
#include "archive/import.h"
#include "platform/installation/installation.h"
#include "platform/sqlite/product_schema.h"
#include "platform/text/unicode.h"

namespace netkeep::archive {
namespace {

namespace fs = std::filesystem;

// What the private folder may come to hold: the database copies in "data",
// and the files that SQLite may make beside one (a database in write-ahead
// log mode gets its index even when read).
std::vector<fs::path> folder_contents() {
  std::vector<fs::path> contents;
  for (const product::database_file& file : product::database_files()) {
    const fs::path database = fs::path("data") / text::to_path(file.file_name);
    contents.push_back(database);
    for (const char* side : {"-journal", "-wal", "-shm"}) contents.push_back(fs::path(database) += side);
  }
  contents.push_back("data");
  return contents;
}

// Whether an archive's file name names this database file once imported:
// the same name directly in the data folder, letters compared as the
// platform's file system compares them.
bool names_database(const std::wstring& member, const wchar_t* file_name) {
#ifdef _WIN32
  const std::wstring_view wanted(file_name);
  if (member.size() != wanted.size()) return false;
  for (std::size_t i = 0; i < member.size(); ++i) {
    if (std::towlower(member[i]) != std::towlower(wanted[i])) return false;
  }
  return true;
#else
  return member == file_name;
#endif
}

// Whether an archive's file name lies below this database file's name
// (`Network.db\\x`): import makes a folder of that name, which verify then
// finds but SQLite cannot open.
bool lies_below_database(const std::wstring& member, const wchar_t* file_name) {
  const std::size_t length = std::wstring_view(file_name).size();
  return member.size() > length && member[length] == L'\\' && names_database(member.substr(0, length), file_name);
}

// The member that import would leave as the file: the last of that name.
const file_entry* database_member(const archive_index& index, const wchar_t* file_name) {
  const file_entry* found = nullptr;
  for (const file_entry& file : index.files) {
    if (names_database(file.name, file_name)) found = &file;
  }
  return found;
}

void copy_member(std::istream& archive, const file_entry& member, const fs::path& target) {
  {
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("failed to open file");
    archive.clear();
    archive.seekg(member.offset, std::ios::beg);
    copy_contents(archive, out, member.size);
    out.close();
    if (!out) throw std::runtime_error("unexpected");
  }
  // Read-only, so that SQLite opens it so and nothing writes it.
  fs::permissions(target, fs::perms::owner_read, fs::perm_options::replace);
}

}  // namespace

archive_installation::archive_installation(const std::wstring& archive_name)
    : folder_(folder_contents()), archive_name_(archive_name) {
  const std::unique_ptr<std::istream> archive_stream = open_archive(text::to_path(archive_name));
  std::istream& archive = *archive_stream;
  const fs::path data_folder = folder_.path() / "data";
  fs::create_directory(data_folder);
  const archive_index index = read_checked_archive(archive, data_folder);

  // A fresh installation has its "path" and "version", which the archive's
  // "version" replaces.
  const win32::registry::key_handle key = win32::registry::create_key(machine(), installation::key_path);
  const auto set_text = [&key](const wchar_t* name, const std::wstring& text) {
    const std::string data = text::to_utf16le(text + L'\0');
    win32::registry::set_value(key.get(), name, win32::registry::reg_sz, data.data(),
                               static_cast<std::uint32_t>(data.size()));
  };
  set_text(L"version", L"3.16.4.1526");
  restore_registry(key.get(), archive, index);
  set_text(L"path", text::from_path(folder_.path()));

  for (const product::database_file& file : product::database_files()) {
    const file_entry* member = database_member(index, file.file_name);
    const fs::path copy = data_folder / text::to_path(file.file_name);
    if (member != nullptr) {
      copy_member(archive, *member, copy);
    } else if (std::any_of(index.files.begin(), index.files.end(), [&file](const file_entry& entry) {
                 return lies_below_database(entry.name, file.file_name);
               })) {
      fs::create_directory(copy);
    } else {
      missing_.push_back(file.file_name);
    }
  }
}

void archive_installation::check_databases() const {
  if (!missing_.empty()) {
    throw std::runtime_error("Database file not found: " + text::to_utf8(archive_name_) + ":" +
                             text::to_utf8(missing_.front()));
  }
}

}  // namespace netkeep::archive
