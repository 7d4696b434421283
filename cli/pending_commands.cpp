// Commands whose work has not been built yet: they locate the installation
// and then say so. Each definition moves to its command's folder when the
// command is built.

#include <stdexcept>

#include "cli/handlers.h"
#include "cli/runner.h"

namespace netkeep {
namespace {

void pending(int count, wchar_t** words, bool needs_file_name) {
  cli::run_handler(count, words, needs_file_name,
                   [](const std::wstring&) { throw std::runtime_error("this command is not available yet"); });
}

}  // namespace

void reset_command(int count, wchar_t** words) { pending(count, words, false); }
void export_command(int count, wchar_t** words) { pending(count, words, true); }
void import_command(int count, wchar_t** words) { pending(count, words, true); }

}  // namespace netkeep
