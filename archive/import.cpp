#include "archive/import.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_index.h"
#include "archive/data_files.h"
#include "archive/import_checks.h"
#include "platform/files/replacement_file.h"
#include "platform/installation/installation.h"
#include "platform/sqlite/database_use.h"
#include "platform/text/unicode.h"

namespace netkeep::archive {
namespace {

namespace fs = std::filesystem;
namespace registry = win32::registry;

}  // namespace

namespace {

// Sets each value and creates each key as the archive's registry part names
// them, holding open the keys on the path to the current one.
class registry_restore final : public registry_visitor {
 public:
  explicit registry_restore(registry::raw_key installation_key) : installation_key_(installation_key) {}

  void set_value(const std::wstring& name, std::uint32_t type, const std::string& data) override {
    registry::set_value(current(), name, type, data.data(), static_cast<std::uint32_t>(data.size()));
  }
  void enter_key(const std::wstring& name) override { open_keys_.push_back(registry::create_key(current(), name)); }
  void leave_key() override { open_keys_.pop_back(); }

 private:
  registry::raw_key current() const { return open_keys_.empty() ? installation_key_ : open_keys_.back().get(); }

  registry::raw_key installation_key_;
  std::vector<registry::key_handle> open_keys_;
};

}  // namespace

void restore_registry(registry::raw_key installation_key, std::istream& archive, const archive_index& index) {
  registry_restore restore(installation_key);
  read_registry_part(archive, index, restore);
}

namespace {

fs::path target_of(const fs::path& data_directory, const file_entry& file) {
  fs::path target = data_directory;
  for (const std::wstring& component : file_name_components(file.name)) target /= text::to_path(component);
  return target;
}

// Refuses to replace a database that another connection uses, and rolls
// back a journal or folds a write-ahead log that a killed process left beside
// one, so that the old database stays whole until it is replaced.
void settle_replaced_databases(const fs::path& data_directory, const std::vector<file_entry>& files) {
  for (const file_entry& file : files) {
    const fs::path target = target_of(data_directory, file);
    std::error_code ignored;
    if (target.extension() == ".db" && fs::is_regular_file(target, ignored)) {
      sqlite::check_not_in_use(text::from_path(target), sqlite::intended_use::replace);
    }
  }
}

// Removes what is left beside the databases about to be replaced (journals
// without a transaction to undo, beside a file that is no database or that
// does not exist), which SQLite would otherwise play back onto the new file.
// SQLite keeps them beside the file that a link names.
void remove_side_files(const std::vector<std::unique_ptr<files::replacement_file>>& staged) {
  for (const std::unique_ptr<files::replacement_file>& file : staged) {
    if (file->target().extension() != ".db") continue;
    for (const std::wstring& side : sqlite::side_files(text::from_path(file->target()))) {
      std::error_code failure;
      fs::remove(text::to_path(side), failure);
      if (failure) throw fs::filesystem_error("cannot remove", text::to_path(side), failure);
    }
  }
}

// Writes the file's contents beside its target, complete and durable but not
// yet in place.
std::unique_ptr<files::replacement_file> stage_file(std::istream& archive, const fs::path& data_directory,
                                                    const file_entry& file) {
  const fs::path target = target_of(data_directory, file);
  fs::create_directories(target.parent_path());
  std::unique_ptr<files::replacement_file> out;
  try {
    out = std::make_unique<files::replacement_file>(target);
  } catch (const fs::filesystem_error&) {
    throw std::runtime_error("failed to open file");
  }
  archive.clear();
  archive.seekg(file.offset, std::ios::beg);
  copy_contents(archive, out->stream(), file.size);
  try {
    out->finish();
  } catch (const fs::filesystem_error&) {
    throw std::runtime_error("unexpected");
  }
  return out;
}

// Removes the temporary files that a killed import or export left in the
// data folders.
void remove_leftovers(const fs::path& data_directory) {
  for (const fs::path& leftover : list_leftover_files(data_directory)) {
    std::error_code ignored;
    fs::remove(leftover, ignored);
  }
}

}  // namespace

std::unique_ptr<std::istream> open_archive(const fs::path& path) {
  std::error_code ignored;
  const fs::file_status status = fs::status(path, ignored);
  if (fs::is_directory(status)) throw std::runtime_error("failed to open file");
  auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!file->is_open()) throw std::runtime_error("failed to open file");
  if (fs::is_regular_file(status)) return file;
  std::ostringstream whole;
  whole << file->rdbuf();
  if (file->bad()) throw std::runtime_error("failed to read from file");
  return std::make_unique<std::istringstream>(std::move(whole).str());
}

archive_index read_checked_archive(std::istream& archive, const fs::path& data_directory) {
  // The installation key and HKEY_LOCAL_MACHINE above it.
  registry_part_check registry_check(1 + registry::key_path_length(installation::key_path).value_or(0));
  archive_index index = read_archive_index(archive, &registry_check);
  registry_check.throw_refusal();
  check_file_names(index.files, data_directory);
  return index;
}

void import_installation(registry::raw_key installation_key, const std::wstring& data_directory,
                         const std::wstring& archive_name) {
  const std::unique_ptr<std::istream> archive_stream = open_archive(text::to_path(archive_name));
  std::istream& archive = *archive_stream;
  const fs::path data_folder = text::to_path(data_directory);
  const archive_index index = read_checked_archive(archive, data_folder);
  settle_replaced_databases(data_folder, index.files);

  // The data files are written beside their targets first, then the registry
  // is restored and made durable, and only then are the files renamed into
  // place: a failure before the renames (a full disk, a file size limit, a
  // folder that cannot be written) leaves the files and the hive file as
  // they were, and the staged files are removed.
  std::vector<std::unique_ptr<files::replacement_file>> staged;
  for (const file_entry& file : index.files) staged.push_back(stage_file(archive, data_folder, file));
  if (!index.registry_empty) {
    restore_registry(installation_key, archive, index);
    registry::flush_key(installation_key);
  }
  remove_side_files(staged);
  for (const std::unique_ptr<files::replacement_file>& file : staged) file->commit();
  remove_leftovers(data_folder);
}

}  // namespace netkeep::archive
