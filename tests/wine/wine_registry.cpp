// wine_registry: the end-to-end tests' hand in the registry of a Wine prefix.
// The tests run on Linux and keep each test installation's registry in a hive
// file (registry_hive_format.h); before netkeep.exe runs they load that file
// into the prefix's registry with this program, and afterwards save the
// registry back. Both directions are exact: every key, every value's type and
// bytes. (Wine's own `reg import` appends terminators to REG_EXPAND_SZ and
// REG_MULTI_SZ data, mangles odd lengths and crashes on some.)
//
//   wine_registry load <hive file>
//       Replaces HKEY_LOCAL_MACHINE\Software\Corvanta, with everything below
//       it, by the keys of the file, which holds nothing outside that key.
//       An empty file deletes the key.
//   wine_registry save <hive file>
//       Writes HKEY_LOCAL_MACHINE\Software\Corvanta and everything below it
//       to the file; without the key, a hive with nothing in it.
//   wine_registry message <code>...
//       Prints the system's text of each Win32 result code (win32::error's
//       message), one per line.
//
// Exits with 0, or 1 after writing the reason to standard error.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"
#include "platform/win32/registry_hive_format.h"
#include "platform/win32/registry_names.h"

namespace {

namespace registry = win32::registry;
using netkeep::text::to_utf8;

constexpr const wchar_t* software = L"Software";
constexpr const wchar_t* corvanta = L"Corvanta";

std::string read_bytes(const std::wstring& file) {
  std::ifstream in(netkeep::text::to_path(file), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + to_utf8(file));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_bytes(const std::wstring& file, const std::string& bytes) {
  std::ofstream out(netkeep::text::to_path(file), std::ios::binary | std::ios::trunc);
  out << bytes;
  out.flush();
  if (!out) throw std::runtime_error("cannot write " + to_utf8(file));
}

// The only child of `node`, which must be named `name` and carry no values;
// null when `node` has no child.
const registry::key_node* only_child(const registry::key_node& node, const wchar_t* name) {
  if (node.values.size() != 0) throw std::runtime_error("the hive has values outside Software\\Corvanta");
  if (node.children.size() == 0) return nullptr;
  const registry::key_node& child = node.children.at(0);
  if (node.children.size() != 1 || !child.name().folded_equals(registry::fold_name(name))) {
    throw std::runtime_error("the hive has keys outside Software\\Corvanta");
  }
  return &child;
}

// Deletes Software\Corvanta with everything below it, when it exists.
void delete_corvanta() {
  registry::key_handle parent = registry::open_key(registry::local_machine(), software, registry::generic_all);
  registry::key_handle key;
  try {
    key = registry::open_key(parent.get(), corvanta, registry::generic_all);
  } catch (const win32::error& failure) {
    if (failure.code == win32::error_file_not_found) return;
    throw;
  }
  registry::delete_subkeys(key.get());
  key.reset();
  registry::delete_key(parent.get(), corvanta);
}

// Creates `node` as `path` below HKEY_LOCAL_MACHINE with its values, then its
// subkeys.
void create_tree(const registry::key_node& node, const std::wstring& path) {
  registry::key_handle key = registry::create_key(registry::local_machine(), path);
  for (std::size_t i = 0; i < node.values.size(); ++i) {
    const registry::value_entry& value = node.values.at(i);
    registry::set_value(key.get(), value.name().str(), value.type(), value.data().data(),
                        static_cast<std::uint32_t>(value.data().size()));
  }
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    const registry::key_node& child = node.children.at(i);
    create_tree(child, path + L"\\" + child.name().str());
  }
}

void load(const std::wstring& file) {
  const std::unique_ptr<registry::key_node> root = registry::parse_hive(read_bytes(file), to_utf8(file));
  const registry::key_node* software_node = only_child(*root, software);
  const registry::key_node* corvanta_node = software_node != nullptr ? only_child(*software_node, corvanta) : nullptr;
  delete_corvanta();
  if (corvanta_node != nullptr) create_tree(*corvanta_node, std::wstring(software) + L"\\" + corvanta_node->name().str());
  registry::flush_key(registry::local_machine());
}

// Copies the values of `key` into `node`, in enumeration order.
void read_values(registry::raw_key key, registry::key_node& node) {
  for (std::uint32_t index = 0;; ++index) {
    std::wstring name;
    const std::uint32_t result = registry::enum_value(key, index, name, 16384);
    if (result == win32::error_no_more_items) return;
    win32::check(result);
    std::string data(4096, '\0');
    for (;;) {
      try {
        const registry::value_info info =
            registry::query_value(key, name, data.data(), static_cast<std::uint32_t>(data.size()));
        data.resize(info.size);
        node.set_value(name, registry::fold_name(name), info.type, data);
        break;
      } catch (const win32::error& failure) {
        if (failure.code != win32::error_more_data) throw;
        data.resize(data.size() * 4);
      }
    }
  }
}

registry::key_node& add_child(registry::key_node& parent, const std::wstring& name) {
  return parent.children.insert(std::make_unique<registry::key_node>(name, &parent));
}

void save(const std::wstring& file) {
  registry::key_node root;
  registry::key_handle key;
  try {
    key = registry::open_key(registry::local_machine(), std::wstring(software) + L"\\" + corvanta,
                             registry::generic_read);
  } catch (const win32::error& failure) {
    if (failure.code != win32::error_file_not_found) throw;
  }
  if (key) {
    registry::key_node& top = add_child(add_child(root, software), corvanta);
    read_values(key.get(), top);
    std::vector<registry::key_node*> open = {&top};  // the nodes of the keys being walked
    registry::walk_keys(key.get(), true,
                        [&open](registry::raw_key key, const std::wstring&, const std::wstring& name, bool entering) {
                          if (entering) {
                            registry::key_node& node = add_child(*open.back(), name);
                            read_values(key, node);
                            open.push_back(&node);
                          } else {
                            open.pop_back();
                          }
                          return true;
                        });
  }
  write_bytes(file, registry::format_hive(root));
}

int run(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"load" && argc == 3) {
    load(argv[2]);
  } else if (command == L"save" && argc == 3) {
    save(argv[2]);
  } else if (command == L"message" && argc > 2) {
    _setmode(_fileno(stdout), _O_BINARY);  // bare line feeds
    for (int i = 2; i < argc; ++i) std::cout << win32::system_message(std::wcstoul(argv[i], nullptr, 10)) << "\n";
  } else {
    std::cerr << "usage: wine_registry load|save <hive file> | message <code>...\n";
    return 1;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& failure) {
    std::cerr << "wine_registry: " << failure.what() << "\n";
    return 1;
  }
}
