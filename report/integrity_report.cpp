#include "report/integrity_report.h"

#include <sstream>
#include <utility>

#include "cli/console.h"

namespace netkeep {

integrity_report::integrity_report(text_sink observer) : observer(std::move(observer)) {}

void integrity_report::add_problem(std::wstring description) { add_problem(std::move(description), {}); }

void integrity_report::add_problem(std::wstring description, repair_action repair) {
  if (observer) observer(description);
  problems.push_back(problem{std::move(description), std::move(repair)});
}

bool integrity_report::for_each_problem(const problem_visitor& visitor) const {
  for (const problem& p : problems) {
    std::wostringstream recovery_action;
    if (p.repair) {
      repair_context context{false, true, &recovery_action};
      p.repair(context);
    }
    if (visitor(p.description, recovery_action.str())) return true;
  }
  return false;
}

integrity_report::problem_visitor integrity_report::print_problem(std::wostream& stream) {
  return [&stream](const std::wstring& description, const std::wstring& recovery_action) {
    console::write_line(stream, L"");
    console::write_line(stream, L"");
    console::write_line(stream, L"Problem Description:");
    console::write_line(stream, description);
    console::write_line(stream, L"");
    console::write_line(stream, L"Recovery Action:");
    console::write_line(stream, recovery_action.empty() ? L"No automatic action can be taken." : recovery_action);
    return false;
  };
}

int integrity_report::problem_count() const { return static_cast<int>(problems.size()); }

int integrity_report::correctable_count() const {
  int count = 0;
  for (const problem& p : problems) {
    if (p.correctable()) ++count;
  }
  return count;
}

int integrity_report::uncorrectable_count() const { return problem_count() - correctable_count(); }

void integrity_report::print_summary(std::wostream& stream) const {
  const int correctable = correctable_count();
  const int uncorrectable = uncorrectable_count();
  console::write_line(stream, L"  Correctable Errors Detected: " + std::to_wstring(correctable));
  console::write_line(stream, L"Uncorrectable Errors Detected: " + std::to_wstring(uncorrectable));
  console::write_line(stream, L"        Total Errors Detected: " + std::to_wstring(correctable + uncorrectable));
}

entity_label integrity_report::site_label(std::int64_t site_id) const {
  return [this, site_id](std::wostream& stream) -> std::wostream& {
    if (const auto* name = site_names.find(site_id)) stream << L"'" << site_names.text(*name) << L"' ";
    return stream << L"(id: " << site_id << L")";
  };
}

entity_label integrity_report::inband_label(std::int64_t inband_id) const {
  return [this, inband_id](std::wostream& stream) -> std::wostream& {
    if (const auto* site = inband_sites.find(inband_id)) {
      if (const auto* name = site_names.find(site->value)) stream << L"'" << site_names.text(*name) << L"' ";
    }
    return stream << L"(id: " << inband_id << L")";
  };
}

}  // namespace netkeep
