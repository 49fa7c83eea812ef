#include "platform/atomic_write.h"

#include <windows.h>

#include <algorithm>

#include "platform/com.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

bool write_all(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    // WriteFile takes a DWORD count; multi-gigabyte texts go in pieces.
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

bool write_file_atomically(const std::string& path, std::string_view bytes) {
  const std::wstring target = to_utf16(path);
  const std::wstring temporary = target + L".tmp-" + std::to_wstring(GetCurrentProcessId());

  UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;

  // The flush makes the new bytes durable before the rename makes them the
  // document: without it a power cut just after a save can leave the
  // renamed file empty or holding garbage.
  const bool written = write_all(file.get(), bytes) && FlushFileBuffers(file.get());
  file.reset();
  if (!written) {
    DeleteFileW(temporary.c_str());
    return false;
  }

  if (ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                   nullptr, nullptr)) {
    return true;
  }
  if (GetLastError() == ERROR_FILE_NOT_FOUND &&
      MoveFileExW(temporary.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace vesk::win
