#include "webhost/page_folder_win.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdint>

#include "platform/com.h"
#include "platform/diagnostics.h"
#include "platform/strings.h"
#include "webhost/page_assembly.h"

namespace vesk::win {
namespace {

std::uint64_t start_time_of(HANDLE process) {
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// A process identifier is reused once its process is gone; the start time
// tells a new process under an old number apart.
bool process_running(std::uint32_t process_id, std::uint64_t start_time) {
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process.valid()) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  if (GetExitCodeProcess(process.get(), &code) && code != STILL_ACTIVE) return false;
  return start_time_of(process.get()) == start_time;
}

std::wstring pages_root() {
  CoTaskText local;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, local.put())) && local.get() &&
      *local.get()) {
    return std::wstring(local.get()) + L"\\Vesk\\Pages";
  }
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return {};
  return std::wstring(temp, length) + L"VeskPages";
}

bool ensure_folder(const std::wstring& folder) {
  const int result = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS;
}

// Only our own file goes; a folder holding anything else stays.
void remove_page_folder(const std::wstring& folder) {
  DeleteFileW((folder + L"\\" + to_utf16(kEditorPageFileName)).c_str());
  RemoveDirectoryW(folder.c_str());
}

void sweep_pages_of_gone_processes(const std::wstring& root, const std::wstring& own) {
  WIN32_FIND_DATAW found = {};
  const HANDLE search = FindFirstFileW((root + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    std::uint32_t process_id = 0;
    std::uint64_t start_time = 0;
    if (found.cFileName == own || !parse_editor_page_folder_name(to_utf8(found.cFileName), process_id, start_time)) {
      continue;
    }
    if (!process_running(process_id, start_time)) remove_page_folder(root + L"\\" + found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

std::wstring editor_page_folder() {
  static std::wstring root, own;
  static bool swept = false;
  if (root.empty()) {
    root = pages_root();
    own = to_utf16(editor_page_folder_name(GetCurrentProcessId(), start_time_of(GetCurrentProcess())));
  }
  if (root.empty()) return {};
  // Made again if it went: closing a web view removes it.
  const std::wstring folder = root + L"\\" + own;
  if (!ensure_folder(folder)) {
    write_diagnostic_line("NATIVE page folder failed " + to_utf8(folder));
    return {};
  }
  if (!swept) {
    swept = true;
    sweep_pages_of_gone_processes(root, own);
    write_diagnostic_line("NATIVE page folder " + to_utf8(folder));
  }
  return folder;
}

void remove_editor_page(const std::wstring& page_path) {
  const std::size_t slash = page_path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return;
  remove_page_folder(page_path.substr(0, slash));
}

}  // namespace vesk::win
