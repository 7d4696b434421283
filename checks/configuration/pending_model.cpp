// PENDING: the registry network configuration model is being built; until
// then a run reads nothing from the registry. Delete this file when
// load_network_configuration and the rest land.

#include "report/integrity_report.h"

namespace netkeep {

void integrity_report::load_network_configuration(win32::registry::raw_key) {}
void integrity_report::load_inband_properties(win32::registry::raw_key) {}
std::wstring integrity_report::satellite_label(std::int64_t id) const { return std::to_wstring(id); }
std::wstring integrity_report::antenna_label(std::int64_t id) const { return std::to_wstring(id); }

}  // namespace netkeep
