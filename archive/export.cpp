#include "archive/export.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>

#include "archive/archive_format.h"
#include "archive/archive_index.h"
#include "archive/data_files.h"
#include "archive/fixed_tables.h"
#include "platform/files/replacement_file.h"
#include "platform/sqlite/database_use.h"
#include "platform/sqlite/held_database.h"
#include "platform/text/unicode.h"

namespace netkeep::archive {
namespace {

namespace fs = std::filesystem;
namespace registry = win32::registry;

// RegEnumValueW's name buffer in wide characters, terminator included.
constexpr std::uint32_t value_name_chars = 256;
// Registry data are read into a buffer of this size; larger data fail with
// the registry's more-data error.
constexpr std::uint32_t value_buffer_bytes = 1024;
// File lengths are taken as 32-bit signed file positions.
constexpr std::streamoff largest_file_bytes = 0x7FFFFFFF;

// Writes the value list of `key`, whose path relative to the installation
// key is `path`, with its terminator.
void write_values(archive_writer& out, registry::raw_key key, const std::wstring& path) {
  char buffer[value_buffer_bytes];
  std::wstring name;  // reused from value to value
  registry::value_info info{};
  for (std::uint32_t index = 0;; ++index) {
    // Name and data in one call; a value whose name or data do not fit is
    // enumerated again by name alone, so that a value left out of the
    // archive may be of any size and a written one fails on its own query.
    std::uint32_t result =
        registry::enum_value_with_data(key, index, name, value_name_chars, buffer, sizeof buffer, info);
    const bool has_data = result == win32::error_success;
    if (result == win32::error_more_data) result = registry::enum_value(key, index, name, value_name_chars);
    // Anything but the end of the list would silently drop the values after
    // it.
    if (result == win32::error_no_more_items) break;
    win32::check(result);
    if (name.empty() || is_preserved_value(path, name, table_mode::export_mode)) continue;
    if (!has_data) info = registry::query_value(key, name, buffer, sizeof buffer);
    out.write_value(name, info.type, std::string_view(buffer, info.size));
  }
  out.write_end_of_list();
}

void write_key_tree(archive_writer& out, registry::raw_key installation_key) {
  registry::walk_keys(installation_key, true,
                      [&out](registry::raw_key key, const std::wstring& path, const std::wstring& name, bool entering) {
                        if (!entering) {
                          out.write_end_of_list();  // the key's subkey list
                          return true;
                        }
                        if (is_excluded_key(path, table_mode::export_mode)) return false;
                        out.write_name(name, registry_name_limit);
                        write_values(out, key, path);
                        return true;
                      });
  out.write_end_of_list();
}

// A file that is copied as it is, opened for reading; returns its length.
std::streamoff open_as_it_is(const data_file& file, std::ifstream& in) {
  in.open(file.path, std::ios::binary);
  if (!in) throw std::runtime_error("failed to open file");
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  in.seekg(0, std::ios::beg);
  return length;
}

// Writes the file's record; `database` holds the file still when it is a
// database, and is null for a file copied as it is.
void write_file(archive_writer& out, const data_file& file, sqlite::held_database* database) {
  out.write_name(file.archive_name, file_name_limit);
  std::ifstream as_it_is;
  const std::streamoff length = database != nullptr ? database->size() : open_as_it_is(file, as_it_is);
  if (length < 0) throw std::runtime_error("unexpected");
  if (length > largest_file_bytes) {
    throw std::runtime_error("file too large to export: " + text::to_utf8(file.archive_name));
  }
  out.write_u32(static_cast<std::uint32_t>(length));
  std::istream& in = database != nullptr ? database->contents() : as_it_is;
  copy_contents(in, out.stream(), static_cast<std::uint64_t>(length));
}

// Refuses, before anything is written, a file whose name import would
// refuse or would restore under another name: a POSIX file name holding a
// backslash, which import reads as a folder separator (..\evil would lead
// out of the data directory).
void check_names(const std::filesystem::path& data_directory, const std::vector<data_file>& files) {
  for (const data_file& file : files) {
    const fs::path relative = file.path.lexically_relative(data_directory);
    const auto folders_and_name = static_cast<std::size_t>(std::distance(relative.begin(), relative.end()));
    if (!is_safe_file_name(file.archive_name) ||
        file_name_components(file.archive_name).size() != folders_and_name) {
      throw std::runtime_error("file name that import would refuse, not exported: " +
                               text::to_utf8(file.archive_name));
    }
  }
}

// Refuses an archive that would replace one of the files that it copies, a
// journal beside one of the databases, or the registry's own file.
void refuse_data_file_target(const fs::path& archive_path, const std::wstring& archive_name,
                             const std::vector<data_file>& files) {
  for (const fs::path& registry_file : registry::backing_files()) {
    std::error_code ignored;
    if (fs::equivalent(archive_path, registry_file, ignored)) {
      throw std::runtime_error("cannot export onto the registry file: " + text::to_utf8(archive_name));
    }
  }
  for (const data_file& file : files) {
    std::vector<std::wstring> own = {text::from_path(file.path)};
    if (file.path.extension() == ".db") {
      for (std::wstring& side : sqlite::side_files(own.front())) own.push_back(std::move(side));
    }
    for (const std::wstring& name : own) {
      std::error_code ignored;
      if (fs::equivalent(archive_path, text::to_path(name), ignored)) {
        throw std::runtime_error("cannot export onto a data file: " + text::to_utf8(archive_name));
      }
    }
  }
}

}  // namespace

void export_installation(registry::raw_key installation_key, const std::wstring& data_directory,
                         const std::wstring& archive_name) {
  const fs::path data_folder = text::to_path(data_directory);
  const std::vector<data_file> files = list_data_files(data_folder, {L".db"});
  check_names(data_folder, files);
  // Each database is held still from here to the end, so that none is
  // copied while another connection writes it, or with its last
  // transactions still in a journal or log beside it.
  std::vector<std::unique_ptr<sqlite::held_database>> databases;
  for (const data_file& file : files) {
    databases.push_back(file.path.extension() == ".db" ? sqlite::held_database::hold(text::from_path(file.path))
                                                       : nullptr);
  }
  const fs::path archive_path = text::to_path(archive_name);
  refuse_data_file_target(archive_path, archive_name, files);
  // A pipe or a device is written directly: it cannot be replaced.
  std::optional<files::replacement_file> archive;
  try {
    archive.emplace(archive_path, files::other_target::write_directly);
  } catch (const fs::filesystem_error&) {
    throw std::runtime_error("failed to open file");
  }
  archive_writer out(archive->stream());
  out.write_header();
  write_values(out, installation_key, L"");
  write_key_tree(out, installation_key);
  for (std::size_t i = 0; i < files.size(); ++i) write_file(out, files[i], databases[i].get());
  out.write_end_of_list();
  try {
    archive->finish();
  } catch (const fs::filesystem_error&) {
    throw std::runtime_error("failed to write to file");
  }
  archive->commit();
}

}  // namespace netkeep::archive
