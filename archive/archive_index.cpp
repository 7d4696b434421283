#include "archive/archive_index.h"

#include <stdexcept>

#include "archive/archive_format.h"
#include "platform/text/unicode.h"

namespace netkeep::archive {
namespace {

// The buffers that every step's name and data are read into, reused.
struct step_buffers {
  std::wstring name;
  std::string data;
};

// Reads a value list with its terminator; returns whether it held a value.
bool read_value_list(archive_reader& in, step_buffers& step, registry_visitor* visitor) {
  bool any = false;
  for (;;) {
    step.name.clear();
    if (!in.append_name(registry_name_limit, step.name)) return any;
    const std::uint32_t type = in.read_u32();
    step.data.clear();
    in.append_value_data(step.data);
    any = true;
    if (visitor != nullptr) visitor->set_value(step.name, type, step.data);
  }
}

// Reads the registry part; returns whether it held a value or a key.
bool read_registry(archive_reader& in, std::uint32_t version, registry_visitor* visitor) {
  step_buffers step;
  bool any = version >= 1 && read_value_list(in, step, visitor);
  // Each key record is its name, its value list and then its subkeys up to a
  // terminator; `depth` counts the keys whose subkey list is still open.
  std::size_t depth = 0;
  for (;;) {
    step.name.clear();
    if (!in.append_name(registry_name_limit, step.name)) {
      if (depth == 0) return any;
      --depth;
      if (visitor != nullptr) visitor->leave_key();
      continue;
    }
    any = true;
    if (visitor != nullptr) visitor->enter_key(step.name);
    ++depth;
    read_value_list(in, step, visitor);
  }
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

void read_files(archive_reader& in, std::streamoff archive_size, std::vector<file_entry>& files) {
  for (;;) {
    std::wstring name = in.read_name(file_name_limit);
    if (name.empty()) return;
    if (!is_safe_file_name(name)) throw std::runtime_error("unsafe file name in archive: " + text::to_utf8(name));
    const std::uint32_t size = in.read_u32();
    const std::streamoff offset = in.position();
    if (offset < 0 || archive_size - offset < static_cast<std::streamoff>(size)) {
      throw std::runtime_error("unexpected");
    }
    in.skip(size);
    files.push_back({std::move(name), size, offset});
  }
}

}  // namespace

std::vector<std::wstring> file_name_components(const std::wstring& name) {
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

bool is_safe_file_name(const std::wstring& name) {
  const bool drive_letter = name.size() >= 2 && name[1] == L':' &&
                            ((name[0] >= L'A' && name[0] <= L'Z') || (name[0] >= L'a' && name[0] <= L'z'));
  if (drive_letter) return false;
  for (const std::wstring& component : file_name_components(name)) {
    if (component.empty() || component == L"." || component == L".." ||
        component.find(L'\0') != std::wstring::npos) {
      return false;
    }
  }
  return true;
}

archive_index read_archive_index(std::istream& archive, registry_visitor* visitor) {
  archive.seekg(0, std::ios::end);
  const std::streamoff archive_size = archive.tellg();
  archive.seekg(0, std::ios::beg);

  archive_reader in(archive);
  archive_index index;
  index.version = in.read_header();
  index.registry_offset = in.position();
  index.registry_empty = !read_registry(in, index.version, visitor);
  read_files(in, archive_size, index.files);
  return index;
}

void read_registry_part(std::istream& archive, const archive_index& index, registry_visitor& visitor) {
  archive.clear();
  archive.seekg(index.registry_offset, std::ios::beg);
  archive_reader in(archive);
  read_registry(in, index.version, &visitor);
}

}  // namespace netkeep::archive
