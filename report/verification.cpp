// The verification driver: which database files a run opens and the fixed
// order of its loading steps and checks. Later checks read tables that
// earlier ones fill, so the order is part of the behaviour.

#include <filesystem>
#include <stdexcept>
#include <utility>

#include "platform/installation/installation.h"
#include "platform/sqlite/product_schema.h"
#include "platform/text/unicode.h"
#include "report/integrity_report.h"

namespace netkeep {
namespace {

std::wstring database_path(const wchar_t* file_name) {
  return installation::join_path(installation::data_directory, file_name);
}

}  // namespace

void integrity_report::open_databases() {
  // A missing file is an error rather than an empty run: opening it would
  // create an empty database, and reporting no problems would hide the loss.
  for (const product::database_file& file : product::database_files()) {
    const std::wstring path = database_path(file.file_name);
    if (!std::filesystem::exists(text::to_path(path))) {
      throw std::runtime_error("Database file not found: " + text::to_utf8(path));
    }
  }
  switching_answers.clear();
  network_db.open(database_path(L"Network.db"));
  switching_db.open(database_path(L"Switching.db"));
  redundancy_db.open(database_path(L"DeviceRedundancy.db"));
}

void integrity_report::close_databases() {
  switching_answers.clear();
  network_db.close();
  switching_db.close();
  redundancy_db.close();
}

void integrity_report::verify() {
  open_databases();

  load_network_configuration(installation::key.get());
  check_site_data();
  if (registry_read) registry_read();
  check_inband_states();
  check_slot_bindings();
  check_shared_antennas(antenna_satellites,
                        [](const auto& a, const auto& b) { return a.first == b.first; });
  check_device_rf_chains(rf_devices.begin(), rf_devices.end(),
                         [](const auto& a, const auto& b) { return a.moniker == b.moniker; });
  check_site_inbands();
  check_managed_device_map();
  check_allocation_spaces();
  check_allocations();
  check_allocatable_devices();
  check_unrecovered_resources();
  check_inband_channel_devices();
  check_preallocations();

  // Bandwidth reservations: the rows in table order, checked in runs of
  // consecutive rows of the same managed device.
  std::vector<reservation_entry> reservations;
  {
    sqlite::statement rows(switching_db, "SELECT * FROM bandwidth_reservation");
    while (rows.step()) {
      reservations.push_back({rows.column_int64("allocation_space"), rows.column_int64("managed_device")});
    }
  }
  for (auto first = reservations.cbegin(); first != reservations.cend();) {
    auto end = first;
    while (end != reservations.cend() && end->managed_device == first->managed_device) ++end;
    check_device_reservations(first, end);
    first = end;
  }

  close_databases();
}

bool analyze(std::shared_ptr<integrity_report> report, text_sink observer) {
  std::swap(report->observer, observer);
  try {
    report->verify();
  } catch (...) {
    std::swap(report->observer, observer);
    throw;
  }
  std::swap(report->observer, observer);
  return !report->problems.empty();
}

}  // namespace netkeep
