// PENDING: the lookups shared by the checks are being built. Delete this file
// when they land.

#include "report/integrity_report.h"

namespace netkeep {

integrity_report::moniker_lookup integrity_report::managed_device_moniker(std::int64_t id, bool) {
  return {L"<unknown(" + std::to_wstring(id) + L")>", false};
}
bool integrity_report::device_on_allocation_space(const std::wstring&, std::int64_t) const { return false; }
std::vector<std::int64_t> integrity_report::device_allocation_spaces(std::int64_t) { return {}; }
std::int64_t integrity_report::device_antenna(const std::wstring&) const { return -1; }
std::wstring integrity_report::allocation_space_label(std::int64_t id) const { return std::to_wstring(id); }

}  // namespace netkeep
