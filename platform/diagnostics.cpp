#include "platform/diagnostics.h"

#include <windows.h>

#include "platform/callback_guard.h"
#include "platform/com.h"
#include "platform/strings.h"

namespace vesk::win {

void write_diagnostic_line(std::string_view line) {
  OutputDebugStringW(to_utf16(line).c_str());
  OutputDebugStringW(L"\n");

  const std::string log_path = read_environment("VESK_LOG");
  if (log_path.empty()) return;
  // Opened per line and shared both ways, so tests and several processes can
  // read and append to the same file while we run.
  UniqueHandle file(CreateFileW(to_utf16(log_path).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return;
  std::string bytes(line);
  bytes += '\n';
  DWORD written = 0;
  WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void log_unexpected_exception(std::string_view what) noexcept {
  try {
    write_diagnostic_line("NATIVE unexpected exception: " + std::string(what));
  } catch (...) {
    // Out of memory even for the line: nothing more we can say.
  }
}

std::string read_environment(const char* name) {
  const std::wstring wide_name = to_utf16(name);
  const DWORD needed = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), needed);
  if (length == 0 || length >= needed) return {};
  value.resize(length);
  return to_utf8(value);
}

}  // namespace vesk::win
