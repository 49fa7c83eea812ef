#include "wine_paths_win.h"

#include <windows.h>

#include "platform/strings.h"

namespace vesk::cdp {
namespace {

using UnixNameFunction = char*(CDECL*)(LPCWSTR);
using DosNameFunction = WCHAR*(CDECL*)(LPCSTR);

template <typename Function>
Function wine_export(const char* name) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

}  // namespace

std::string unix_path_of(const std::wstring& windows_path) {
  static const auto to_unix = wine_export<UnixNameFunction>("wine_get_unix_file_name");
  if (!to_unix || windows_path.empty()) return {};
  char* name = to_unix(windows_path.c_str());
  if (!name) return {};
  std::string path(name);
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

std::wstring windows_path_of(const std::string& unix_path) {
  static const auto to_dos = wine_export<DosNameFunction>("wine_get_dos_file_name");
  if (!to_dos || unix_path.empty()) return {};
  WCHAR* name = to_dos(unix_path.c_str());
  if (!name) return {};
  std::wstring path(name);
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

std::vector<DriveRoot> drive_roots() {
  std::vector<DriveRoot> roots;
  const DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
    std::string unix_root = unix_path_of(root);
    if (unix_root.empty()) continue;
    if (unix_root.back() != '/') unix_root += '/';
    roots.push_back({static_cast<char>('A' + i), unix_root});
  }
  return roots;
}

std::string browser_url_for(const std::string& windows_url) {
  std::string windows_path;
  std::string suffix;
  if (!windows_path_from_file_url(windows_url, windows_path, suffix)) return windows_url;
  const std::string unix_path = unix_path_of(win::to_utf16(windows_path));
  if (unix_path.empty()) return windows_url;
  return file_url_from_unix_path(unix_path, suffix);
}

}  // namespace vesk::cdp
