// The file-backed registry: HKEY_LOCAL_MACHINE is one text file (format in
// registry_hive_format.h) named by the environment variable
// ORBENTA_REGISTRY, /var/lib/orbenta/registry.reg when it is unset. A
// missing file is an empty registry.
//
// Sessions: the hive is loaded, and the hive's lock taken, when the registry
// is first used while no key is open; it is written back by flush_key() and,
// if anything changed, when the last open key is closed, after which the
// lock is released and the hive dropped (the next use reloads it).
// discard_changes() turns the write-backs of the session off, so that a
// command that fails half-way leaves the file as it was. An
// operation on local_machine() while no key is open is a session of its own.
// Since a command keeps its installation key open from start to end, the
// lock serialises whole commands of several processes on one hive.
//
// Names that the file could not carry (line breaks, lone surrogates) are
// refused with error_invalid_parameter when a key or value would be created
// with them; looking them up simply finds nothing. As the Windows backend's
// C-string calls do, every name ends at its first NUL character.
//
// One mutex guards the whole registry, so handles may be used and closed on
// any thread. Each operation and each close of a key counts as one call
// (registry_calls.h), as it would be one call into the Windows registry.

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "platform/memory/heap.h"
#include "platform/win32/registry.h"
#include "platform/win32/registry_calls.h"
#include "platform/win32/registry_hive_file.h"
#include "platform/win32/registry_hive_format.h"
#include "platform/win32/registry_memory.h"
#include "platform/win32/registry_tree.h"
#include "platform/win32/registry_tree_operations.h"

namespace win32::registry {
namespace {

std::filesystem::path hive_path() {
  const char* configured = std::getenv("ORBENTA_REGISTRY");
  return configured != nullptr && *configured != '\0' ? configured : "/var/lib/orbenta/registry.reg";
}

struct registry_state {
  std::mutex mutex;
  std::size_t uses = 0;  // open key handles plus operations in progress
  std::filesystem::path file;
  hive_lock lock;
  std::unique_ptr<key_node> root;  // while uses > 0
  bool changed = false;            // since loading or the last write-back
  bool discarded = false;          // no write-back until the session ends
  // Deleted keys that still have open handles; operations on them fail.
  std::vector<std::unique_ptr<key_node>> detached;
  // Guarded by the mutex like everything else.
  tree_operations operations{true};
};

// Never destroyed: static key handles elsewhere are closed during exit,
// possibly after every local static of this file would be gone.
registry_state& state() {
  static registry_state* const instance = new registry_state;
  return *instance;
}

void begin_session(registry_state& s) {
  std::filesystem::path file = hive_path();
  hive_lock lock = hive_lock::acquire(file);
  std::unique_ptr<key_node> root;
  const bool found =
      read_hive_file(file, [&root, &file](const hive_reader& read) { root = parse_hive(read, file.string()); });
  s.root = found ? std::move(root) : std::make_unique<key_node>();
  s.file = std::move(file);
  s.lock = std::move(lock);
  s.changed = false;
  s.discarded = false;
}

void write_back(registry_state& s) {
  // The file takes as many pages as the tree holds; the work that changed
  // the tree (a repair's checks, say) has freed most of its memory by now.
  netkeep::memory::give_back_freed_memory();
  replace_hive_file(s.file, [&s](std::ostream& out) {
    write_hive(*s.root, [&out](std::string_view piece) { out.write(piece.data(), static_cast<std::streamsize>(piece.size())); });
  });
  s.changed = false;
}

// The last close cannot report a failing write-back; the file then keeps its
// previous contents.
void end_session(registry_state& s) noexcept {
  if (s.changed && !s.discarded) {
    try {
      write_back(s);
    } catch (...) {
    }
  }
  s.root.reset();
  s.detached.clear();
  s.changed = false;
  s.lock = hive_lock();
  // The tree was loaded by whichever thread opened the first key, and its
  // memory stays with that thread's heap once freed; a command that goes on
  // working in another thread would otherwise keep it to the end.
  netkeep::memory::give_back_freed_memory();
}

// Holds the registry for one operation, loading the hive when no session is
// open and ending the session afterwards when nothing else keeps it.
class session_use {
 public:
  session_use() : guard_(state().mutex) {
    count_call();
    registry_state& s = state();
    if (s.uses == 0) begin_session(s);
    ++s.uses;
  }
  ~session_use() {
    registry_state& s = state();
    if (--s.uses == 0) end_session(s);
  }
  session_use(const session_use&) = delete;
  session_use& operator=(const session_use&) = delete;

 private:
  std::lock_guard<std::mutex> guard_;
};

}  // namespace

struct key_object {
  key_node* node;  // null for the predefined root: the current session's root
  access_mask rights;
};

namespace {

key_object predefined_root{nullptr, key_all_access};

// The live key behind a handle that has every right in `needed`.
key_node& key_of(raw_key key, access_mask needed) {
  if (key == nullptr) throw error(error_invalid_handle);
  key_node* node = key->node != nullptr ? key->node : state().root.get();
  if (node->deleted) throw error(error_key_deleted);
  if ((key->rights & needed) != needed) throw error(error_access_denied);
  return *node;
}

key_handle new_handle(key_node& node, access_mask access) {
  auto* object = new key_object{&node, granted_rights(access)};
  ++node.open_handles;
  ++state().uses;
  return key_handle(object);
}

void close_key(raw_key key) noexcept {
  if (key == nullptr || key == &predefined_root) return;
  count_call();
  registry_state& s = state();
  std::lock_guard<std::mutex> guard(s.mutex);
  key_node* node = key->node;
  delete key;
  if (--node->open_handles == 0 && node->deleted) {
    std::erase_if(s.detached, [node](const std::unique_ptr<key_node>& gone) { return gone.get() == node; });
  }
  if (--s.uses == 0) end_session(s);
}

}  // namespace

std::optional<std::size_t> key_path_length(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(state().mutex);
  return state().operations.path_length(name);
}

bool is_valid_value_name(const std::wstring& name) { return state().operations.valid_value_name(name); }

raw_key local_machine() { return &predefined_root; }

void key_handle::reset(raw_key key) {
  raw_key old = key_;
  key_ = key;
  if (old == key) return;
  if (memory::is_memory_key(old)) {
    memory::close_key(old);
  } else {
    close_key(old);
  }
}

key_handle open_key(raw_key parent, const std::wstring& path, access_mask access) {
  if (memory::is_memory_key(parent)) return memory::open_key(parent, path, access);
  session_use use;
  return new_handle(state().operations.open(key_of(parent, 0), path), access);
}

key_handle create_key(raw_key parent, const std::wstring& name) {
  if (memory::is_memory_key(parent)) return memory::create_key(parent, name);
  session_use use;
  bool created = false;
  key_node& key =
      state().operations.create(key_of(parent, 0), name, (parent->rights & key_create_sub_key) != 0, created);
  if (created) state().changed = true;
  return new_handle(key, generic_write);
}

value_info query_value(raw_key key, const std::wstring& name, void* buffer, std::uint32_t buffer_size) {
  if (memory::is_memory_key(key)) return memory::query_value(key, name, buffer, buffer_size);
  session_use use;
  return state().operations.query(key_of(key, key_query_value), name, buffer, buffer_size);
}

void set_value(raw_key key, const std::wstring& name, std::uint32_t type, const void* data, std::uint32_t size) {
  if (memory::is_memory_key(key)) return memory::set_value(key, name, type, data, size);
  session_use use;
  state().operations.set(key_of(key, key_set_value), name, type, data, size);
  state().changed = true;
}

void delete_key(raw_key parent, const std::wstring& name) {
  if (memory::is_memory_key(parent)) return memory::delete_key(parent, name);
  session_use use;
  std::unique_ptr<key_node> removed = state().operations.remove_key(key_of(parent, 0), name);
  if (removed->open_handles > 0) {
    removed->deleted = true;
    state().detached.push_back(std::move(removed));
  }
  state().changed = true;
}

void delete_value(raw_key key, const std::wstring& name) {
  if (memory::is_memory_key(key)) return memory::delete_value(key, name);
  session_use use;
  state().operations.remove_value(key_of(key, key_set_value), name);
  state().changed = true;
}

namespace {

// Runs an enumeration in a session, turning its errors into its result code.
template <class Enumerate>
std::uint32_t enumeration(raw_key key, access_mask needed, Enumerate enumerate) {
  session_use use;
  try {
    return enumerate(key_of(key, needed));
  } catch (const error& failure) {
    return failure.code;
  }
}

}  // namespace

std::uint32_t enum_key(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars) {
  if (memory::is_memory_key(key)) return memory::enum_key(key, index, name, name_buffer_chars);
  return enumeration(key, key_enumerate_sub_keys, [&](const key_node& node) {
    return state().operations.enum_key(node, index, name, name_buffer_chars);
  });
}

std::uint32_t enum_value(raw_key key, std::uint32_t index, std::wstring& name, std::uint32_t name_buffer_chars) {
  if (memory::is_memory_key(key)) return memory::enum_value(key, index, name, name_buffer_chars);
  return enumeration(key, key_query_value, [&](const key_node& node) {
    std::uint32_t result;
    if (const value_entry* found = state().operations.enum_value(node, index, name_buffer_chars, result)) {
      found->name().copy_to(name);
    }
    return result;
  });
}

std::uint32_t enum_value_with_data(raw_key key, std::uint32_t index, std::wstring& name,
                                   std::uint32_t name_buffer_chars, void* buffer, std::uint32_t buffer_size,
                                   value_info& info) {
  if (memory::is_memory_key(key)) {
    return memory::enum_value_with_data(key, index, name, name_buffer_chars, buffer, buffer_size, info);
  }
  return enumeration(key, key_query_value, [&](const key_node& node) {
    return state().operations.enum_value_with_data(node, index, name, name_buffer_chars, buffer, buffer_size,
                                                   info);
  });
}

// A memory tree has nothing to make durable nor to give up.

void flush_key(raw_key key) {
  if (memory::is_memory_key(key)) return;
  session_use use;
  key_of(key, 0);
  if (state().discarded) throw std::runtime_error("registry changes were discarded");
  if (state().changed) write_back(state());
}

void discard_changes(raw_key key) {
  if (memory::is_memory_key(key)) return;
  session_use use;
  key_of(key, 0);
  state().discarded = true;
  state().changed = false;
}

void check_write_back(raw_key key) {
  if (memory::is_memory_key(key)) return;
  session_use use;
  key_of(key, 0);
  check_hive_replaceable(state().file);
}

std::vector<std::filesystem::path> backing_files() {
  std::filesystem::path lock = hive_path();
  lock += ".lock";
  return {hive_path(), lock};
}

}  // namespace win32::registry
