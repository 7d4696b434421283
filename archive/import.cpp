#include "archive/import.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "archive/archive_format.h"
#include "archive/replacement_file.h"
#include "platform/text/unicode.h"

namespace netkeep::archive {
namespace {

namespace fs = std::filesystem;
namespace registry = win32::registry;

// The registry part of an archive as a flat sequence of steps, so that keys
// nested to any depth are read and restored without recursion.
struct registry_step {
  enum class kind { set_value, enter_key, leave_key };
  kind what;
  std::wstring name;
  std::uint32_t type = 0;
  std::string data;
};

// A file record: its name and where its contents lie in the archive.
struct file_entry {
  std::wstring name;
  std::uint32_t size;
  std::streamoff offset;
};

struct archive_index {
  std::vector<registry_step> registry;
  std::vector<file_entry> files;
};

void read_value_list(archive_reader& in, std::vector<registry_step>& steps) {
  for (;;) {
    std::wstring name = in.read_name(registry_name_limit);
    if (name.empty()) return;
    const std::uint32_t type = in.read_u32();
    steps.push_back({registry_step::kind::set_value, std::move(name), type, in.read_value_data()});
  }
}

void read_registry(archive_reader& in, std::uint32_t version, std::vector<registry_step>& steps) {
  if (version >= 1) read_value_list(in, steps);
  // Each key record is its name, its value list and then its subkeys up to a
  // terminator; `depth` counts the keys whose subkey list is still open.
  std::size_t depth = 0;
  for (;;) {
    std::wstring name = in.read_name(registry_name_limit);
    if (name.empty()) {
      if (depth == 0) return;
      --depth;
      steps.push_back({registry_step::kind::leave_key, {}, 0, {}});
      continue;
    }
    steps.push_back({registry_step::kind::enter_key, std::move(name), 0, {}});
    ++depth;
    read_value_list(in, steps);
  }
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The name's components, split at backslashes and (for safety on every
// platform) slashes.
std::vector<std::wstring> components_of(const std::wstring& name) {
  std::vector<std::wstring> components(1);
  for (wchar_t c : name) {
    if (is_separator(c)) {
      components.emplace_back();
    } else {
      components.back() += c;
    }
  }
  return components;
}

// Whether the name stays below the data directory wherever it is joined to
// it: no root, no drive letter, no empty, "." or ".." component, no null
// character (which would cut the name short).
bool is_safe_file_name(const std::wstring& name) {
  const bool drive_letter = name.size() >= 2 && name[1] == L':' &&
                            ((name[0] >= L'A' && name[0] <= L'Z') || (name[0] >= L'a' && name[0] <= L'z'));
  if (drive_letter) return false;
  for (const std::wstring& component : components_of(name)) {
    if (component.empty() || component == L"." || component == L".." ||
        component.find(L'\0') != std::wstring::npos) {
      return false;
    }
  }
  return true;
}

void read_files(archive_reader& in, std::streamoff archive_size, std::vector<file_entry>& files) {
  for (;;) {
    std::wstring name = in.read_name(file_name_limit);
    if (name.empty()) return;
    if (!is_safe_file_name(name)) throw std::runtime_error("unsafe file name in archive: " + text::to_utf8(name));
    const std::uint32_t size = in.read_u32();
    const std::streamoff offset = in.stream().tellg();
    if (offset < 0 || archive_size - offset < static_cast<std::streamoff>(size)) {
      throw std::runtime_error("unexpected");
    }
    in.stream().seekg(size, std::ios::cur);
    files.push_back({std::move(name), size, offset});
  }
}

// Reads the whole archive, checking every record and that every file's
// contents are present, without holding those contents.
archive_index read_index(std::ifstream& archive) {
  archive.seekg(0, std::ios::end);
  const std::streamoff archive_size = archive.tellg();
  archive.seekg(0, std::ios::beg);

  archive_reader in(archive);
  archive_index index;
  const std::uint32_t version = in.read_header();
  read_registry(in, version, index.registry);
  read_files(in, archive_size, index.files);
  return index;
}

void restore_registry(registry::raw_key installation_key, const std::vector<registry_step>& steps) {
  std::vector<registry::key_handle> open_keys;  // the path to the current key
  for (const registry_step& step : steps) {
    registry::raw_key current = open_keys.empty() ? installation_key : open_keys.back().get();
    switch (step.what) {
      case registry_step::kind::set_value:
        registry::set_value(current, step.name, step.type, step.data.data(),
                            static_cast<std::uint32_t>(step.data.size()));
        break;
      case registry_step::kind::enter_key:
        open_keys.push_back(registry::create_key(current, step.name));
        break;
      case registry_step::kind::leave_key:
        open_keys.pop_back();
        break;
    }
  }
}

void restore_file(std::ifstream& archive, const fs::path& data_directory, const file_entry& file) {
  fs::path target = data_directory;
  for (const std::wstring& component : components_of(file.name)) target /= text::to_path(component);
  fs::create_directories(target.parent_path());
  replacement_file out(target);
  archive.clear();
  archive.seekg(file.offset, std::ios::beg);
  copy_contents(archive, out.stream(), file.size);
  out.commit("unexpected");
}

}  // namespace

void import_installation(registry::raw_key installation_key, const std::wstring& data_directory,
                         const std::wstring& archive_name) {
  const fs::path archive_path = text::to_path(archive_name);
  std::error_code ignored;
  std::ifstream archive;
  if (!fs::is_directory(archive_path, ignored)) archive.open(archive_path, std::ios::binary);
  if (!archive.is_open()) throw std::runtime_error("failed to open file");
  const archive_index index = read_index(archive);

  restore_registry(installation_key, index.registry);
  const fs::path data_folder = text::to_path(data_directory);
  for (const file_entry& file : index.files) restore_file(archive, data_folder, file);
}

}  // namespace netkeep::archive
