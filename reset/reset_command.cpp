#include "cli/handlers.h"
#include "cli/runner.h"
#include "platform/installation/installation.h"
#include "reset/reset.h"

namespace netkeep {

void reset_command(int count, wchar_t** words) {
  cli::run_handler(count, words, false, [](const std::wstring&) {
    cli::run_phase(L"reseting: ",
                   [] { reset_installation(installation::key.get(), installation::data_directory); });
  });
}

}  // namespace netkeep
