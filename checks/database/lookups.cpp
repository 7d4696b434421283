// The questions that several checks ask about a managed device or an
// allocation space: its moniker, where the registry places it, and how to
// name an allocation space in a message.

#include <optional>
#include <stdexcept>
#include <string>

#include "report/integrity_report.h"

namespace netkeep {
namespace {

// "SELECT moniker FROM managed_device_map WHERE id=?", the first row.
const text_question moniker_of_device{"moniker", "managed_device_map", "id"};

// The allocation space of a satellite: the first one recorded for it.
const std::int64_t* first_allocation_space(const std::multimap<std::int64_t, std::int64_t>& satellite_allocation_spaces,
                                           std::int64_t satellite_id) {
  auto space = satellite_allocation_spaces.lower_bound(satellite_id);
  if (space == satellite_allocation_spaces.end() || space->first != satellite_id) return nullptr;
  return &space->second;
}

}  // namespace

integrity_report::rf_device_range integrity_report::rf_device_entries(std::wstring_view moniker) const {
  return rf_devices.equal_range(moniker);
}

integrity_report::moniker_lookup integrity_report::managed_device_moniker(std::int64_t id, bool must_exist) {
  // The answers hold the whole table for the run: no cache of our own.
  if (std::optional<std::wstring> moniker = switching_answers.first_text(switching_db, moniker_of_device, id)) {
    return {std::move(*moniker), true};
  }
  if (must_exist) throw std::runtime_error("Allocator not found in managed device map.");
  return {L"<unknown(" + std::to_wstring(id) + L")>", false};
}

bool integrity_report::device_on_allocation_space(std::wstring_view moniker, std::int64_t allocation_space) const {
  return device_on_allocation_space(rf_device_entries(moniker), allocation_space);
}

bool integrity_report::device_on_allocation_space(const rf_device_range& entries,
                                                  std::int64_t allocation_space) const {
  const auto [first, end] = entries;
  for (auto device = first; device != end; ++device) {
    const std::int64_t* space = first_allocation_space(satellite_allocation_spaces, device->path.satellite_id);
    if (space != nullptr && *space == allocation_space) return true;
  }
  return false;
}

std::vector<std::int64_t> integrity_report::device_allocation_spaces(std::int64_t id) {
  const std::wstring moniker = managed_device_moniker(id, true).moniker;
  auto [first, end] = rf_device_entries(moniker);
  std::vector<std::int64_t> spaces;
  spaces.reserve(static_cast<std::size_t>(std::distance(first, end)));
  for (auto device = first; device != end; ++device) {
    const std::int64_t* space = first_allocation_space(satellite_allocation_spaces, device->path.satellite_id);
    if (space != nullptr) spaces.push_back(*space);
  }
  return spaces;
}

std::int64_t integrity_report::device_antenna(const rf_device_range& entries) {
  const auto [first, end] = entries;
  if (first == end) return -1;
  const std::int64_t antenna = first->path.antenna_id;
  for (auto device = first; device != end; ++device) {
    if (device->path.antenna_id != antenna) return -1;
  }
  return antenna;
}

std::wstring integrity_report::allocation_space_label(std::int64_t allocation_space) const {
  auto satellite = allocation_space_satellites.lower_bound(allocation_space);
  if (satellite != allocation_space_satellites.end() && satellite->first == allocation_space) {
    auto name = satellite_names.find(satellite->second);
    if (name != satellite_names.end()) return name->second;
  }
  return std::to_wstring(allocation_space);
}

}  // namespace netkeep
