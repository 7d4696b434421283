#include "platform/win32/error.h"

namespace win32 {

// The texts that Windows gives for the codes the file-backed registry uses.
std::string system_message(std::uint32_t code) {
  switch (code) {
    case error_file_not_found:
      return "The system cannot find the file specified.";
    case error_access_denied:
      return "Access is denied.";
    case error_invalid_handle:
      return "The handle is invalid.";
    case error_invalid_parameter:
      return "The parameter is incorrect.";
    case error_more_data:
      return "More data is available.";
    case error_no_more_items:
      return "No more data is available.";
    case error_key_deleted:
      return "Illegal operation attempted on a registry key that has been marked for deletion.";
    default:
      return "unknown error";
  }
}

}  // namespace win32
