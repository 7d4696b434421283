#include "report/integrity_report.h"

#include <gtest/gtest.h>

#include <sstream>

namespace netkeep {
namespace {

repair_action describing(std::wstring text, int* applied = nullptr) {
  return [text, applied](integrity_report::repair_context& context) {
    if (context.describe) *context.out << text;
    if (context.apply && applied != nullptr) ++*applied;
  };
}

TEST(IntegrityReport, EmptyReportVisitsNothingAndCountsZero) {
  integrity_report report{text_sink{}};
  bool called = false;
  EXPECT_FALSE(report.for_each_problem([&](const std::wstring&, const std::wstring&) { return called = true; }));
  EXPECT_FALSE(called);
  std::wostringstream summary;
  report.print_summary(summary);
  EXPECT_EQ(summary.str(),
            L"  Correctable Errors Detected: 0\n"
            L"Uncorrectable Errors Detected: 0\n"
            L"        Total Errors Detected: 0\n");
}

TEST(IntegrityReport, ProblemsKeepTheirOrderAndTheObserverHearsEachOne) {
  std::vector<std::wstring> heard;
  integrity_report report{[&](const std::wstring& text) { heard.push_back(text); }};
  report.add_problem(L"first");
  report.add_problem(L"second", describing(L"Fix it"));
  report.add_problem(L"third", repair_action{});
  report.add_problem(L"second", describing(L"Fix it"));
  EXPECT_EQ(heard, (std::vector<std::wstring>{L"first", L"second", L"third", L"second"}));
  EXPECT_EQ(report.problem_count(), 4);
  EXPECT_EQ(report.correctable_count(), 2);
  EXPECT_EQ(report.uncorrectable_count(), 2);

  std::vector<std::wstring> seen;
  EXPECT_TRUE(report.for_each_problem([&](const std::wstring& description, const std::wstring& action) {
    seen.push_back(description + L"/" + action);
    return description == L"third";
  }));
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"first/", L"second/Fix it", L"third/"}));
}

TEST(IntegrityReport, ListingOnlyDescribesTheRepair) {
  int applied = 0;
  integrity_report report{text_sink{}};
  report.add_problem(L"Device 'M1' (id: 7) in managed device map when not associated with a satellite.",
                     describing(L"Delete the managed device entry with the id 7", &applied));
  report.add_problem(L"Two lines\n    second line");
  std::wostringstream out;
  EXPECT_FALSE(report.for_each_problem(integrity_report::print_problem(out)));
  EXPECT_EQ(applied, 0);
  EXPECT_EQ(out.str(),
            L"\n\nProblem Description:\n"
            L"Device 'M1' (id: 7) in managed device map when not associated with a satellite.\n"
            L"\nRecovery Action:\nDelete the managed device entry with the id 7\n"
            L"\n\nProblem Description:\nTwo lines\n    second line\n"
            L"\nRecovery Action:\nNo automatic action can be taken.\n");

  std::wostringstream summary;
  report.print_summary(summary);
  EXPECT_EQ(summary.str(),
            L"  Correctable Errors Detected: 1\n"
            L"Uncorrectable Errors Detected: 1\n"
            L"        Total Errors Detected: 2\n");
}

TEST(IntegrityReport, LabelsNameKnownSitesAndInbands) {
  integrity_report report{text_sink{}};
  report.site_names.append(7, {}, L"North");
  report.inband_sites.append(12, 7, L"7");  // inband 12 belongs to site North
  report.inband_sites.append(13, 8, L"8");  // site 8 has no name
  auto text = [](const entity_label& label) {
    std::wostringstream s;
    s << label;
    return s.str();
  };
  EXPECT_EQ(text(report.site_label(7)), L"'North' (id: 7)");
  EXPECT_EQ(text(report.site_label(-3)), L"(id: -3)");
  EXPECT_EQ(text(report.inband_label(12)), L"'North' (id: 12)");
  EXPECT_EQ(text(report.inband_label(13)), L"(id: 13)");
  EXPECT_EQ(text(report.inband_label(14)), L"(id: 14)");
  // A label reads the tables when it is written, not when it is made.
  entity_label later = report.site_label(9);
  report.site_names.append(9, {}, L"South");
  EXPECT_EQ(text(later), L"'South' (id: 9)");
}

}  // namespace
}  // namespace netkeep
