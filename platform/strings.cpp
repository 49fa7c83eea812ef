#include "platform/strings.h"

#include <windows.h>

#include <climits>

namespace vesk::win {

std::wstring to_utf16(std::string_view utf8) {
  // Longer than an int can describe is beyond what Windows converts in one
  // call; such text never comes from a document the page could hold.
  if (utf8.empty() || utf8.size() > INT_MAX) return {};
  const int length = static_cast<int>(utf8.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring out(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), needed);
  return out;
}

std::string to_utf8(std::wstring_view utf16) {
  if (utf16.empty() || utf16.size() > INT_MAX) return {};
  const int length = static_cast<int>(utf16.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, out.data(), needed, nullptr, nullptr);
  return out;
}

std::string full_path(const std::string& path) {
  const std::wstring wide = to_utf16(path);
  if (wide.empty()) return path;
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring out(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), needed, out.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  out.resize(length);
  return to_utf8(out);
}

std::wstring executable_folder() {
  // A full buffer means the name was cut; try again with a larger one.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  const std::size_t cut = path.find_last_of(L"\\/");
  path.resize(cut == std::wstring::npos ? 0 : cut);
  return path;
}

}  // namespace vesk::win
