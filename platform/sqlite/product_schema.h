#pragma once
// The three product databases and the tables and columns that netkeep reads
// and changes in them. The product's other programs create and fill these
// databases; the schema here is the smallest one that holds every table and
// column the program names, with the keys and indexes a real installation
// has. Tests and mkinstall build their databases from it.

#include <string>
#include <vector>

namespace netkeep::product {

struct database_file {
  const wchar_t* file_name;  // in the installation's data directory
  const char* member;        // the report's connection that opens it
};

// "Network.db", "Switching.db", "DeviceRedundancy.db", in the order in which
// verification tests for and opens them.
const std::vector<database_file>& database_files();

struct table {
  const char* database;    // file name, narrow
  const char* name;        // as the program's statements name it
  const char* definition;  // the CREATE TABLE statement
  std::vector<const char*> indexes;  // CREATE INDEX statements
};

// Every table of the three databases that the program uses.
const std::vector<table>& tables();

// The SQL that creates the tables of one database ("Network.db", ...), with
// or without their indexes.
std::string schema_sql(const std::string& database_file, bool with_indexes = true);

}  // namespace netkeep::product
