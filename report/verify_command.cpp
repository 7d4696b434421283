#include <iostream>
#include <memory>

#include "cli/console.h"
#include "cli/handlers.h"
#include "cli/runner.h"
#include "report/integrity_report.h"

namespace netkeep {

void verify_command(int count, wchar_t** words) {
  cli::run_handler(count, words, false, [](const std::wstring&) {
    auto report = std::make_shared<integrity_report>(text_sink{});
    bool found = false;
    cli::run_phase(L"analyzing: ", [report, &found] { found = analyze(report, text_sink{}); });
    if (found) {
      report->for_each_problem(integrity_report::print_problem(std::wcout));
      console::write_line(std::wcerr, L"");
      report->print_summary(std::wcerr);
    } else {
      console::write_line(std::wcerr, L"No problems detected.");
    }
  });
}

}  // namespace netkeep
