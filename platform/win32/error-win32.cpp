#include "platform/win32/error.h"

#include <windows.h>

namespace win32 {

std::string system_message(std::uint32_t code) {
  char buffer[260];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
  if (length == 0) return "unknown error";
  std::string text(buffer, length);
  if (text.size() >= 2 && text[text.size() - 2] == '\r') text.resize(text.size() - 2);
  return text;
}

}  // namespace win32
