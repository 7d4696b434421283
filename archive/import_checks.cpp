#include "archive/import_checks.h"

#include <set>
#include <stdexcept>
#include <string>

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace netkeep::archive {
namespace {

namespace fs = std::filesystem;
namespace registry = win32::registry;

[[noreturn]] void refuse(const char* what, std::wstring_view name) {
  throw std::runtime_error(std::string(what) + text::to_utf8(name));
}

// The longest file name component that the file system of `folder` (or of
// its nearest existing parent) takes, in units of a path's native encoding.
std::size_t longest_component(const fs::path& folder) {
#ifdef _WIN32
  (void)folder;
  return 255;
#else
  std::error_code ignored;
  fs::path existing = folder;
  while (!existing.empty() && !fs::exists(existing, ignored) && existing != existing.parent_path()) {
    existing = existing.parent_path();
  }
  const long limit = ::pathconf(existing.empty() ? "." : existing.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<std::size_t>(limit) : 255;
#endif
}

}  // namespace

void registry_part_check::keep_refusal(const char* what, const std::wstring& name) {
  refusal_ = std::string(what) + text::to_utf8(name);
}

void registry_part_check::set_value(const std::wstring& name, std::uint32_t, const std::string&) {
  if (!refusal_.empty()) return;
  if (!registry::is_valid_value_name(name)) keep_refusal("invalid registry name in archive: ", name);
}

void registry_part_check::enter_key(const std::wstring& name) {
  if (!refusal_.empty()) return;
  const std::optional<std::size_t> length = registry::key_path_length(name);
  if (!length) return keep_refusal("invalid registry name in archive: ", name);
  depths_.push_back(depths_.back() + *length);
  if (depths_.back() > registry::max_key_depth) keep_refusal("registry key nested too deeply in archive: ", name);
}

void registry_part_check::leave_key() {
  // After a refusal the depths no longer matter.
  if (refusal_.empty()) depths_.pop_back();
}

void registry_part_check::throw_refusal() const {
  if (!refusal_.empty()) throw std::runtime_error(refusal_);
}

void check_file_names(const std::vector<file_entry>& files, const fs::path& data_directory) {
  const std::size_t longest = longest_component(data_directory);
  std::set<std::wstring> file_names;    // components joined by backslashes
  std::set<std::wstring> folder_names;  // likewise, every folder on a file's path
  for (const file_entry& file : files) {
    const std::vector<std::wstring> components = file_name_components(file.name);
    fs::path at = data_directory;
    std::wstring joined;
    for (std::size_t i = 0; i < components.size(); ++i) {
      const fs::path component = text::to_path(components[i]);
      if (component.native().size() > longest) refuse("invalid file name in archive: ", file.name);
      at /= component;
      if (!joined.empty()) joined += L'\\';
      joined += components[i];
      const bool last = i + 1 == components.size();
      if (last) {
        // (A file that exists as a folder fails when its replacement is
        // created, before anything is changed.)
        if (folder_names.contains(joined)) refuse("invalid file name in archive: ", file.name);
        file_names.insert(joined);
      } else {
        std::error_code ignored;
        const fs::file_status status = fs::status(at, ignored);
        if ((fs::exists(status) && !fs::is_directory(status)) || file_names.contains(joined)) {
          refuse("invalid file name in archive: ", file.name);
        }
        folder_names.insert(joined);
      }
    }
  }
}

}  // namespace netkeep::archive
