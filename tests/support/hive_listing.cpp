#include "tests/support/hive_listing.h"

#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "platform/installation/installation.h"
#include "platform/text/unicode.h"
#include "platform/win32/registry.h"
#include "platform/win32/registry_hive_format.h"

namespace netkeep::testing {
namespace {

namespace registry = win32::registry;

// Points the registry at a hive file for its lifetime.
class hive_environment {
 public:
  explicit hive_environment(const std::filesystem::path& file) {
    const char* old = ::getenv("ORBENTA_REGISTRY");
    had_previous_ = old != nullptr;
    if (had_previous_) previous_ = old;
    ::setenv("ORBENTA_REGISTRY", file.c_str(), 1);
  }
  ~hive_environment() {
    if (had_previous_) {
      ::setenv("ORBENTA_REGISTRY", previous_.c_str(), 1);
    } else {
      ::unsetenv("ORBENTA_REGISTRY");
    }
  }

 private:
  bool had_previous_ = false;
  std::string previous_;
};

std::string list_values(registry::raw_key key) {
  std::vector<std::string> lines;
  for (std::uint32_t index = 0;; ++index) {
    std::wstring name;
    const std::uint32_t result = registry::enum_value(key, index, name, 16384);
    if (result == win32::error_no_more_items) break;
    win32::check(result);
    std::string data(1 << 20, '\0');
    const registry::value_info info =
        registry::query_value(key, name, data.data(), static_cast<std::uint32_t>(data.size()));
    data.resize(info.size);
    lines.push_back(text::to_utf8(name) + " " + std::to_string(info.type) + " " + hex_bytes(data));
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

}  // namespace

std::string hex_bytes(const std::string& bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char byte : bytes) {
    out += digits[byte >> 4];
    out += digits[byte & 15];
  }
  return out;
}

std::string hive_text_contents(const std::string& hive_text) {
  const std::unique_ptr<registry::key_node> root = registry::parse_hive(hive_text, "hive");
  std::string contents;
  registry::for_each_key(*root, [&contents](const registry::key_node& key, std::size_t) {
    std::wstring path;
    for (const registry::key_node* node = &key; node->parent() != nullptr; node = node->parent()) {
      path.insert(0, L"\\" + node->name().str());
    }
    std::vector<std::string> values;
    for (std::size_t i = 0; i < key.values.size(); ++i) {
      const registry::value_entry& value = key.values.at(i);
      values.push_back(text::to_utf8(value.name().str()) + " " + std::to_string(value.type()) + " " + hex_bytes(std::string(value.data())));
    }
    std::sort(values.begin(), values.end());
    contents += "[" + text::to_utf8(path) + "]\n";
    for (const std::string& value : values) contents += value + "\n";
  });
  return contents;
}

std::string hive_listing(const test_installation& installation) {
  hive_environment environment(installation.hive_file());
  registry::key_handle root =
      registry::open_key(registry::local_machine(), installation::key_path, registry::generic_read);
  std::string out = "[]\n" + list_values(root.get());
  registry::walk_keys(root.get(), true,
                      [&out](registry::raw_key key, const std::wstring& path, const std::wstring&, bool entering) {
                        if (entering) out += "[" + text::to_utf8(path) + "]\n" + list_values(key);
                        return true;
                      });
  return out;
}

}  // namespace netkeep::testing
