#include "tools/mkinstall/database_writer.h"

#include <regex>
#include <stdexcept>

#include "platform/sqlite/product_schema.h"
#include "platform/text/unicode.h"

namespace mkinstall {
namespace {

void create_file(sqlite::database& db, const std::filesystem::path& file, bool with_indexes) {
  if (std::filesystem::exists(file)) throw std::runtime_error(file.string() + " already exists");
  db.open(netkeep::text::from_path(file));
  // Bulk loading: no rollback journal and no waiting for the disk. A failed
  // creation leaves a broken file, which nobody uses.
  db.exec("PRAGMA page_size = 4096; PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;");
  const std::string name = file.filename().string();
  for (const netkeep::product::table& table : netkeep::product::tables()) {
    if (name != table.database) continue;
    db.exec(with_indexes ? std::string(table.definition) : bare_table_definition(table.definition));
  }
}

void create_indexes(sqlite::database& db, const char* database_file) {
  for (const netkeep::product::table& table : netkeep::product::tables()) {
    if (std::string(database_file) != table.database) continue;
    for (const char* index : table.indexes) db.exec(index);
  }
}

}  // namespace

std::string bare_table_definition(const std::string& definition) {
  static const std::regex table_key(R"(, PRIMARY KEY \([^)]*\))");
  static const std::regex column_key(R"( PRIMARY KEY)");
  return std::regex_replace(std::regex_replace(definition, table_key, ""), column_key, "");
}

installation_databases::installation_databases(const std::filesystem::path& data_directory, bool with_indexes)
    : with_indexes_(with_indexes) {
  create_file(network_, data_directory / "Network.db", with_indexes);
  create_file(switching_, data_directory / "Switching.db", with_indexes);
  create_file(redundancy_, data_directory / "DeviceRedundancy.db", with_indexes);
  network_transaction_ = std::make_unique<sqlite::transaction>(network_);
  switching_transaction_ = std::make_unique<sqlite::transaction>(switching_);
  redundancy_transaction_ = std::make_unique<sqlite::transaction>(redundancy_);
}

installation_databases::~installation_databases() {
  // An unfinished installation is abandoned (without a journal nothing can
  // be rolled back; mkinstall removes the folder): end the transactions
  // before their connections close.
  redundancy_transaction_.reset();
  switching_transaction_.reset();
  network_transaction_.reset();
}

void installation_databases::finish() {
  if (with_indexes_) {
    create_indexes(network_, "Network.db");
    create_indexes(switching_, "Switching.db");
    create_indexes(redundancy_, "DeviceRedundancy.db");
  }
  network_transaction_->commit();
  switching_transaction_->commit();
  redundancy_transaction_->commit();
  network_.close();
  switching_.close();
  redundancy_.close();
}

}  // namespace mkinstall
