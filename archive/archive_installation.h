#pragma once
// An archive seen as the installation that importing it into a fresh one
// would give, without any installation: its registry part in a memory tree
// (win32::registry::memory_tree), its databases copied into a private
// folder. `verify FILE` runs the checks on it unchanged.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/private_folder.h"
#include "platform/win32/registry_memory.h"

namespace netkeep::archive {

class archive_installation {
 public:
  // Reads the archive `archive_name` (used as given) and refuses it exactly
  // as import does, with import's messages (import.h), before anything is
  // copied. Then it builds the installation: in a memory tree standing for
  // HKEY_LOCAL_MACHINE, the installation key with the archive's values and
  // keys restored into it and, as in a fresh installation, the value "path"
  // naming the private folder (set last: an archive that carries a "path",
  // which export never writes, cannot point the checks at another folder);
  // and in the folder's "data" folder read-only copies of the archive's
  // database files "Network.db", "Switching.db" and "DeviceRedundancy.db"
  // (its other files are not needed by any check).
  // Nothing is written outside the private folder, which is removed again
  // when construction fails.
  explicit archive_installation(const std::wstring& archive_name);

  // Fails, where verify on an installation fails for a missing database
  // file (after locating the installation), when the archive lacks one, the
  // file named as the archive's member:
  // std::runtime_error("Database file not found: <archive_name>:<file>").
  void check_databases() const;

  // The tree's root, which stands for HKEY_LOCAL_MACHINE: see
  // installation::locate(machine).
  win32::registry::raw_key machine() const { return machine_.get(); }

 private:
  files::private_folder folder_;
  win32::registry::memory_tree tree_;
  win32::registry::key_handle machine_ = tree_.open_root();
  std::wstring archive_name_;
  std::vector<std::wstring> missing_;  // database files that the archive lacks
};

}  // namespace netkeep::archive
