// Display names of satellites and antennas in problem texts.

#include <string>

#include "report/integrity_report.h"

namespace netkeep {

std::wstring integrity_report::satellite_label(std::int64_t satellite_id) const {
  auto name = satellite_names.find(satellite_id);
  return name != satellite_names.end() ? name->second : std::to_wstring(satellite_id);
}

std::wstring integrity_report::antenna_label(std::int64_t antenna_id) const {
  // An antenna id may stand under several satellites, each key with its own
  // name: all of them are shown, in the order read.
  auto [first, end] = antenna_names.equal_range(antenna_id);
  if (first == end) return std::to_wstring(antenna_id);
  std::wstring label = first->second;
  for (auto name = std::next(first); name != end; ++name) label += L" aka " + name->second;
  return label;
}

}  // namespace netkeep
