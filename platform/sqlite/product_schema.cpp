#include "platform/sqlite/product_schema.h"

namespace netkeep::product {

const std::vector<database_file>& database_files() {
  static const std::vector<database_file> files = {
      {L"Network.db", "network_db"},
      {L"Switching.db", "switching_db"},
      {L"DeviceRedundancy.db", "redundancy_db"},
  };
  return files;
}

const std::vector<table>& tables() {
  static const std::vector<table> all = {
      // Network.db
      {"Network.db", "site_data", "CREATE TABLE site_data (id INTEGER PRIMARY KEY, site_name TEXT)", {}},
      {"Network.db", "property",
       "CREATE TABLE property (id INTEGER NOT NULL, property_name BLOB NOT NULL, property_value BLOB, "
       "PRIMARY KEY (id, property_name))",
       {}},

      // Switching.db
      {"Switching.db", "managed_device_map",
       "CREATE TABLE managed_device_map (id INTEGER PRIMARY KEY, moniker TEXT)",
       {"CREATE INDEX managed_device_map_moniker ON managed_device_map (moniker)"}},
      {"Switching.db", "inband_state", "CREATE TABLE inband_state (id INTEGER PRIMARY KEY, state INTEGER)", {}},
      {"Switching.db", "inband_channel",
       "CREATE TABLE inband_channel (inband INTEGER NOT NULL, number INTEGER NOT NULL, device TEXT, "
       "home_device TEXT, PRIMARY KEY (inband, number))",
       {"CREATE INDEX inband_channel_device ON inband_channel (device)"}},
      {"Switching.db", "allocation_space",
       "CREATE TABLE allocation_space (id INTEGER PRIMARY KEY, bandwidth INTEGER, description TEXT)", {}},
      {"Switching.db", "allocation",
       "CREATE TABLE allocation (id INTEGER PRIMARY KEY, allocator INTEGER, allocation_space INTEGER, "
       "comment TEXT, past INTEGER, future INTEGER, start_frequency INTEGER, bandwidth INTEGER)",
       {"CREATE INDEX allocation_allocator ON allocation (allocator)"}},
      {"Switching.db", "allocatable_device",
       "CREATE TABLE allocatable_device (allocation_space INTEGER, device_type TEXT, moniker TEXT, "
       "port INTEGER, priority INTEGER)",
       {}},
      {"Switching.db", "device_allocation",
       "CREATE TABLE device_allocation (allocation INTEGER, moniker TEXT)",
       {"CREATE INDEX device_allocation_moniker ON device_allocation (moniker)"}},
      {"Switching.db", "unrecovered_device",
       "CREATE TABLE unrecovered_device (device_moniker TEXT, managed_device INTEGER)",
       {"CREATE INDEX unrecovered_device_moniker ON unrecovered_device (device_moniker)",
        "CREATE INDEX unrecovered_device_managed ON unrecovered_device (managed_device)"}},
      {"Switching.db", "unrecovered_resources",
       "CREATE TABLE unrecovered_resources (managed_device INTEGER, allocation_space INTEGER, amount INTEGER)",
       {"CREATE INDEX unrecovered_resources_device ON unrecovered_resources (managed_device)"}},
      {"Switching.db", "preallocation",
       "CREATE TABLE preallocation (allocator INTEGER, allocation_space INTEGER, bandwidth INTEGER)",
       {"CREATE INDEX preallocation_allocator ON preallocation (allocator)"}},
      {"Switching.db", "bandwidth_reservation",
       "CREATE TABLE bandwidth_reservation (allocation_space INTEGER, managed_device INTEGER, bandwidth INTEGER)",
       {"CREATE INDEX bandwidth_reservation_device ON bandwidth_reservation (managed_device)"}},
      {"Switching.db", "outofband_state",
       "CREATE TABLE outofband_state (device TEXT, state INTEGER)",
       {"CREATE INDEX outofband_state_device ON outofband_state (device)"}},
      {"Switching.db", "managed_device_modcod_map",
       "CREATE TABLE managed_device_modcod_map (device_id INTEGER, modcod INTEGER)",
       {"CREATE INDEX managed_device_modcod_map_device ON managed_device_modcod_map (device_id)"}},
      {"Switching.db", "device_preallocation",
       "CREATE TABLE device_preallocation (allocator INTEGER, bandwidth INTEGER)",
       {"CREATE INDEX device_preallocation_allocator ON device_preallocation (allocator)"}},
      {"Switching.db", "unrecovered_slot",
       "CREATE TABLE unrecovered_slot (managed_device INTEGER, slot INTEGER)",
       {"CREATE INDEX unrecovered_slot_device ON unrecovered_slot (managed_device)"}},
      {"Switching.db", "reservation_status",
       "CREATE TABLE reservation_status (managed_device INTEGER, status INTEGER)",
       {"CREATE INDEX reservation_status_device ON reservation_status (managed_device)"}},
      {"Switching.db", "scheduled_channel_reservation",
       "CREATE TABLE scheduled_channel_reservation (id INTEGER PRIMARY KEY, allocator_id INTEGER, start_time INTEGER)",
       {"CREATE INDEX scheduled_channel_reservation_allocator ON scheduled_channel_reservation (allocator_id)"}},
      {"Switching.db", "scheduled_channel_device_reservation",
       "CREATE TABLE scheduled_channel_device_reservation (reservation INTEGER, device_id INTEGER)",
       {"CREATE INDEX scheduled_channel_device_reservation_device ON scheduled_channel_device_reservation "
        "(device_id)"}},

      // DeviceRedundancy.db
      {"DeviceRedundancy.db", "slot.device_binding",
       "CREATE TABLE [slot.device_binding] ([group] INTEGER, [slot] INTEGER, [device] TEXT, [logical_link] TEXT)",
       {"CREATE INDEX [slot.device_binding_slot] ON [slot.device_binding] ([slot])"}},
      {"DeviceRedundancy.db", "slot", "CREATE TABLE slot (id INTEGER PRIMARY KEY, [group] INTEGER, role INTEGER)",
       {}},
      {"DeviceRedundancy.db", "device_configuration",
       "CREATE TABLE device_configuration (device TEXT, configuration BLOB)",
       {"CREATE INDEX device_configuration_device ON device_configuration (device)"}},
  };
  return all;
}

std::string schema_sql(const std::string& database_file, bool with_indexes) {
  std::string sql;
  for (const table& t : tables()) {
    if (database_file != t.database) continue;
    sql += t.definition;
    sql += ";\n";
    if (!with_indexes) continue;
    for (const char* index : t.indexes) {
      sql += index;
      sql += ";\n";
    }
  }
  return sql;
}

}  // namespace netkeep::product
