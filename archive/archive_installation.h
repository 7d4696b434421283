#pragma once
// An archive seen as the installation that importing it into a fresh one
// would give, without any installation: its registry part in a memory tree
// (win32::registry::memory_tree), its databases copied into a private
// folder. `verify FILE` runs the checks on it unchanged.

#include <memory>
#include <optional>
#include <string>

#include "platform/files/private_folder.h"
#include "platform/win32/registry_memory.h"

namespace netkeep::archive {

class archive_installation {
 public:
  // Reads the archive `archive_name` (used as given) and refuses it exactly
  // as import does, with import's messages (import.h), before anything is
  // copied. Then it builds the installation: a fresh installation key, whose
  // "path" names the private folder, with the archive's values and keys
  // restored below it, and in the folder's "data" folder read-only copies
  // of the archive's database files "Network.db", "Switching.db" and
  // "DeviceRedundancy.db" (its other files are not needed by any check).
  //
  // A database file that the archive lacks fails as verify fails on an
  // installation that lacks it, the file named as the archive's member:
  // std::runtime_error("Database file not found: <archive_name>:<file>").
  // Nothing is written outside the private folder, which is removed again
  // when construction fails.
  explicit archive_installation(const std::wstring& archive_name);

  // The installation key (generic all access) and the installation folder;
  // see installation::adopt.
  win32::registry::key_handle open_key() const { return tree_.open_root(); }
  std::wstring path() const;

 private:
  files::private_folder folder_;
  win32::registry::memory_tree tree_;
};

}  // namespace netkeep::archive
