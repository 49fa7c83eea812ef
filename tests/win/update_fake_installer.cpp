// Stands in for a release installer in the updater tests: writes the
// command line it was started with to the file named by
// VESK_TEST_INSTALLER_OUT and exits.
#include <windows.h>

#include <string>

int wmain() {
  wchar_t out[MAX_PATH] = {};
  if (!::GetEnvironmentVariableW(L"VESK_TEST_INSTALLER_OUT", out, MAX_PATH)) return 1;
  // Everything after the program name, as the installer would parse it.
  std::wstring line = ::GetCommandLineW();
  std::size_t at = 0;
  if (!line.empty() && line[0] == L'"') {
    at = line.find(L'"', 1);
    at = at == std::wstring::npos ? line.size() : at + 1;
  } else {
    at = line.find(L' ');
    if (at == std::wstring::npos) at = line.size();
  }
  while (at < line.size() && line[at] == L' ') ++at;
  const std::wstring arguments = line.substr(at);
  // Written aside and renamed, so the waiting test never reads half of it.
  const std::wstring partial = std::wstring(out) + L".partial";
  const HANDLE file =
      ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  ::WriteFile(file, arguments.data(), static_cast<DWORD>(arguments.size() * sizeof(wchar_t)), &written, nullptr);
  ::CloseHandle(file);
  return ::MoveFileExW(partial.c_str(), out, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
