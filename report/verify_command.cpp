#include <iostream>
#include <memory>
#include <optional>

#include "archive/archive_installation.h"
#include "cli/console.h"
#include "cli/handlers.h"
#include "cli/runner.h"
#include "platform/installation/installation.h"
#include "report/integrity_report.h"

namespace netkeep {
namespace {

// The analysis phase and its output. With an archive, the phase first
// builds the archive's installation, so that the output is the same as after
// importing it: the console shows one "analyzing: " phase either way.
void verify_body(const wchar_t* archive_name) {
  // Declared first, so that the report's connections close before the
  // folder of the archive's databases is removed.
  std::optional<archive::archive_installation> archived;
  auto report = std::make_shared<integrity_report>(text_sink{});
  // Nothing repairs here: the registry is given back once it has been read.
  if (archive_name == nullptr) report->registry_read = [] { installation::close(); };
  bool found = false;
  cli::run_phase(L"analyzing: ", [report, &found, &archived, archive_name] {
    if (archive_name != nullptr) {
      archived.emplace(archive_name);
      installation::locate(archived->machine());
      archived->check_databases();
    }
    found = analyze(report, text_sink{});
  });
  if (found) {
    report->for_each_problem(integrity_report::print_problem(std::wcout));
    console::write_line(std::wcerr, L"");
    report->print_summary(std::wcerr);
  } else {
    console::write_line(std::wcerr, L"No problems detected.");
  }
}

}  // namespace

void verify_command(int count, wchar_t** words) {
  if (count != 1) {
    cli::run_handler(count, words, false, [](const std::wstring&) { verify_body(nullptr); });
    return;
  }
  // `verify FILE`: the archive's installation only, never the machine's.
  try {
    verify_body(words[0]);
  } catch (...) {
    installation::close();
    throw;
  }
  installation::close();
}

}  // namespace netkeep
