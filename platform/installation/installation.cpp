#include "platform/installation/installation.h"

#include <stdexcept>

#include "platform/text/unicode.h"

namespace netkeep::installation {

win32::registry::key_handle key;
std::wstring path;
std::wstring data_directory;
std::wstring version;

namespace {

#ifdef _WIN32
constexpr wchar_t separator = L'\\';
#else
constexpr wchar_t separator = L'/';
#endif

// Reads a value as a terminated wide string from a buffer of `buffer_bytes`,
// whatever its type.
std::wstring read_text(win32::registry::raw_key key, const wchar_t* name, std::uint32_t buffer_bytes) {
  std::string buffer(buffer_bytes, '\0');
  win32::registry::value_info info = win32::registry::query_value(key, name, buffer.data(), buffer_bytes);
  std::wstring text = text::from_utf16le(std::string_view(buffer.data(), info.size));
  std::size_t end = text.find(L'\0');
  if (end != std::wstring::npos) text.resize(end);
  return text;
}

}  // namespace

void locate() { locate(win32::registry::local_machine()); }

void locate(win32::registry::raw_key machine) {
  try {
    key = win32::registry::open_key(machine, key_path, win32::registry::generic_all);
  } catch (const win32::error&) {
    throw std::runtime_error("Orbenta installation not found.");
  }
  std::wstring installation_path = read_text(key.get(), L"path", 520);
  version = read_text(key.get(), L"version", 64);
  // An empty or relative path would put the data folder wherever the
  // command happens to run (an empty one at the root).
  if (installation_path.empty() || !text::to_path(installation_path).is_absolute()) {
    key = {};
    throw std::runtime_error("The installation's \"path\" value is not an absolute path: \"" +
                             text::to_utf8(installation_path) + "\"");
  }
  path = installation_path;
  data_directory = join_path(path, L"data");
}

void write_back() {
  if (key) win32::registry::flush_key(key.get());
}

void close() noexcept {
  if (!key) return;
  win32::registry::key_handle closing = std::move(key);
  try {
    win32::registry::discard_changes(closing.get());
  } catch (...) {
    // A key that the registry no longer knows holds no changes of its own.
  }
}

std::wstring join_path(const std::wstring& directory, const std::wstring& name) {
  if (!directory.empty() && directory.back() == separator) return directory + name;
  return directory + separator + name;
}

}  // namespace netkeep::installation
