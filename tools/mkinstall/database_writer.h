#pragma once
// The three product databases of a new installation, written in bulk: each
// file is created with the product's tables, filled inside one transaction
// with journal and sync turned off, and then indexed and closed.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/sqlite/sqlite.h"
#include "tools/mkinstall/network.h"

namespace mkinstall {

// A table's CREATE TABLE statement without its PRIMARY KEY clauses, so that
// a look-up by id scans the table: the bare tables of --no-indexes.
std::string bare_table_definition(const std::string& definition);

class installation_databases {
 public:
  // Creates "Network.db", "Switching.db" and "DeviceRedundancy.db" in
  // `data_directory` (replacing nothing: the files must not exist) with every
  // product table, keyed when `with_indexes`, bare otherwise, and begins one
  // transaction on each.
  installation_databases(const std::filesystem::path& data_directory, bool with_indexes);
  ~installation_databases();
  installation_databases(const installation_databases&) = delete;
  installation_databases& operator=(const installation_databases&) = delete;

  sqlite::database& network_db() { return network_; }
  sqlite::database& switching_db() { return switching_; }
  sqlite::database& redundancy_db() { return redundancy_; }
  bool with_indexes() const { return with_indexes_; }

  // Writes the rows of a consistent installation of `net`; the values that
  // the network does not fix come from `seed`.
  void write(const network& net, std::uint64_t seed);

  // Creates the indexes (when keyed), commits and closes the three files.
  void finish();

 private:
  bool with_indexes_;
  sqlite::database network_;
  sqlite::database switching_;
  sqlite::database redundancy_;
  std::unique_ptr<sqlite::transaction> network_transaction_;
  std::unique_ptr<sqlite::transaction> switching_transaction_;
  std::unique_ptr<sqlite::transaction> redundancy_transaction_;
};

}  // namespace mkinstall
