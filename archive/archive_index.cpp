#include "archive/archive_index.h"

#include <stdexcept>

#include "archive/archive_format.h"
#include "platform/text/unicode.h"

namespace netkeep::archive {
namespace {

void read_value_list(archive_reader& in, archive_index& index) {
  for (;;) {
    registry_step step{registry_step::kind::set_value};
    step.name_start = index.registry_text.size();
    if (!in.append_name(registry_name_limit, index.registry_text)) return;
    step.name_length = index.registry_text.size() - step.name_start;
    step.type = in.read_u32();
    step.data_start = index.registry_bytes.size();
    in.append_value_data(index.registry_bytes);
    step.data_length = index.registry_bytes.size() - step.data_start;
    index.registry.push_back(step);
  }
}

void read_registry(archive_reader& in, std::uint32_t version, archive_index& index) {
  if (version >= 1) read_value_list(in, index);
  // Each key record is its name, its value list and then its subkeys up to a
  // terminator; `depth` counts the keys whose subkey list is still open.
  std::size_t depth = 0;
  for (;;) {
    registry_step step{registry_step::kind::enter_key};
    step.name_start = index.registry_text.size();
    if (!in.append_name(registry_name_limit, index.registry_text)) {
      if (depth == 0) return;
      --depth;
      index.registry.push_back({registry_step::kind::leave_key});
      continue;
    }
    step.name_length = index.registry_text.size() - step.name_start;
    index.registry.push_back(step);
    ++depth;
    read_value_list(in, index);
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

archive_index read_archive_index(std::istream& archive) {
  archive.seekg(0, std::ios::end);
  const std::streamoff archive_size = archive.tellg();
  archive.seekg(0, std::ios::beg);

  archive_reader in(archive);
  archive_index index;
  const std::uint32_t version = in.read_header();
  read_registry(in, version, index);
  read_files(in, archive_size, index.files);
  return index;
}

}  // namespace netkeep::archive
