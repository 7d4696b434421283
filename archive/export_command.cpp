#include "archive/export.h"
#include "cli/handlers.h"
#include "cli/runner.h"
#include "platform/installation/installation.h"

namespace netkeep {

void export_command(int count, wchar_t** words) {
  cli::run_handler(count, words, true, [](const std::wstring& file_name) {
    cli::run_phase(L"exporting: ", [file_name] {
      archive::export_installation(installation::key.get(), installation::data_directory, file_name);
    });
  });
}

}  // namespace netkeep
