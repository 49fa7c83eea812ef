#include "app/disk_win.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdio>

#include "platform/com.h"
#include "platform/diagnostics.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

std::uint64_t ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// 100 ns ticks between 1601 and 1970.
constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ULL;

}  // namespace

bool read_file_shared(const std::string& path, std::string& bytes) {
  UniqueHandle file(CreateFileW(to_utf16(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  bytes.clear();
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0) {
    bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  }
  char buffer[64 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) {
      bytes.clear();
      return false;
    }
    if (read == 0) break;
    bytes.append(buffer, read);
  }
  return true;
}

DiskState disk_state_without_hash(const std::string& path) {
  DiskState state;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || !GetFileAttributesExW(to_utf16(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return state;
  }
  state.exists = true;
  state.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  state.write_time = ticks(data.ftLastWriteTime);
  return state;
}

std::string vesk_data_folder() {
  const std::string chosen = read_environment("VESK_DATA_DIR");
  if (!chosen.empty()) return chosen;
  CoTaskText known;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, known.put())) || !known.get()) {
    return {};
  }
  const std::string base = to_utf8(known.get());
  return base.empty() ? std::string() : base + "\\Vesk";
}

bool ensure_folder(const std::string& path) {
  if (path.empty()) return false;
  const std::wstring wide = to_utf16(path);
  const int result = SHCreateDirectoryExW(nullptr, wide.c_str(), nullptr);
  if (result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) {
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  return false;
}

BackupOwner current_backup_owner() {
  BackupOwner owner;
  owner.pid = GetCurrentProcessId();
  FILETIME created{}, exited{}, kernel{}, user{};
  if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) owner.started = ticks(created);
  return owner;
}

bool backup_owner_running(const BackupOwner& owner) {
  if (owner.pid == GetCurrentProcessId()) return owner == current_backup_owner();
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner.pid));
  if (!process.valid()) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  if (GetExitCodeProcess(process.get(), &code) && code != STILL_ACTIVE) return false;
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return true;
  return ticks(created) == owner.started;
}

std::int64_t unix_time_now() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return static_cast<std::int64_t>((ticks(now) - kUnixEpochTicks) / 10000000ULL);
}

std::int64_t unix_time_ms_now() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return static_cast<std::int64_t>((ticks(now) - kUnixEpochTicks) / 10000ULL);
}

std::string local_time_text(std::int64_t unix_seconds, bool with_seconds) {
  const std::uint64_t value = static_cast<std::uint64_t>(unix_seconds) * 10000000ULL + kUnixEpochTicks;
  FILETIME utc{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
  FILETIME local{};
  SYSTEMTIME parts{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts)) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", parts.wYear, parts.wMonth, parts.wDay,
                parts.wHour, parts.wMinute);
  std::string shown = text;
  if (with_seconds) {
    std::snprintf(text, sizeof text, ":%02u", parts.wSecond);
    shown += text;
  }
  return shown;
}

bool start_vesk(const std::vector<std::wstring>& arguments, const std::string& what) {
  const std::wstring exe = executable_folder() + L"\\Vesk.exe";
  std::wstring command = L"\"" + exe + L"\"";
  for (const std::wstring& argument : arguments) command += L" \"" + argument + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started)) {
    write_diagnostic_line("NATIVE start failed " + what);
    return false;
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

}  // namespace vesk::win
