#pragma once
// Throw-away installations for the end-to-end tests: a temporary folder
// holding a registry hive file (registry.reg, named by ORBENTA_REGISTRY when
// netkeep runs) and the installation folder with its data directory
// (install/data), where the three product databases live. Against the
// Windows program (target.h) the folder is in the Wine prefix's drive_c and
// the hive file is what the prefix's registry holds while netkeep.exe runs.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/target.h"

namespace netkeep::testing {

// The installation key as a .reg section path.
inline constexpr const char* installation_key = "HKEY_LOCAL_MACHINE\\Software\\Corvanta\\Orbenta\\3.0";

// "[HKEY_LOCAL_MACHINE\Software\Corvanta\Orbenta\3.0\<relative>]", or the
// installation key's own section for an empty path.
std::string section(const std::string& relative_path);

// Text as the contents of a .reg string: backslashes and quotes escaped.
std::string reg_escape(const std::string& text);

class test_installation {
 public:
  // A new folder holding a hive with the installation key ("path" =
  // install_path(), "version" = "3.0") and an empty data directory.
  test_installation();
  ~test_installation();
  test_installation(const test_installation&) = delete;
  test_installation& operator=(const test_installation&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path hive_file() const { return root_ / "registry.reg"; }
  std::filesystem::path data_directory() const { return root_ / "install" / "data"; }
  std::filesystem::path database(const std::string& file_name) const { return data_directory() / file_name; }
  // The installation folder <root>/install as the program names it: the
  // value "path".
  std::string install_path() const { return program_path(root_ / "install"); }

  // Rewrites the hive: the header, the installation key's section with
  // "path" and "version", then `body` (.reg text with full key paths, see
  // section()).
  void set_registry(const std::string& body);
  // The hive file's current text.
  std::string registry_text() const;

  // Creates the three databases with every product table (and, when asked,
  // their indexes). Existing files are replaced.
  void create_databases(bool with_indexes = true);
  // Runs SQL statements on one database ("Network.db", "Switching.db",
  // "DeviceRedundancy.db"), creating the file if needed.
  void sql(const std::string& database_file, const std::string& statements) const;
  // The rows of a query, each row's columns as text joined by "|" (NULL as
  // "NULL"), rows in the query's order.
  std::vector<std::string> query(const std::string& database_file, const std::string& select) const;

  // Runs the program under test with these words after the program name, in
  // root() as the current folder, on the hive (run_target in target.h).
  run_result run(const std::vector<std::string>& words) const;

 private:
  std::filesystem::path root_;
};

// Reads a whole file as bytes.
std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

}  // namespace netkeep::testing
