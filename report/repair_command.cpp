#include <iostream>
#include <memory>

#include "cli/console.h"
#include "cli/handlers.h"
#include "cli/runner.h"
#include "report/integrity_report.h"

namespace netkeep {

void repair_command(int count, wchar_t** words) {
  cli::run_handler(count, words, false, [](const std::wstring&) {
    auto report = std::make_shared<integrity_report>(text_sink{});
    bool found = false;
    cli::run_phase(L"analyzing: ", [report, &found] { found = analyze(report, text_sink{}); });
    std::wcerr << L'\r';
    report->print_summary(std::wcerr);
    if (!found) return;
    cli::run_phase(L"repairing: ", [report] { report->repair_all(text_sink{}); });
    console::write_line(std::wcerr, L"repairs complete");
  });
}

}  // namespace netkeep
