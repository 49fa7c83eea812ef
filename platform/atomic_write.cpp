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

// One rename over the old file. ReplaceFileW would carry the old file's
// ACL, attributes and streams over, but it is several steps (Wine's too):
// killed between them it leaves no file under the document's name. A rename
// is one step on NTFS and on Wine's file systems, so the name always holds
// either the old text or the new one.
bool replace_file(const std::wstring& target, const std::wstring& temporary, unsigned long& error) {
  // Windows refuses to rename over a read-only file; Wine does not. A file
  // the user marked read-only keeps its content either way.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    error = ERROR_ACCESS_DENIED;
    return false;
  }
  if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  error = GetLastError();
  return false;
}

}  // namespace

AtomicWriteResult write_file_atomically_reporting(const std::string& path, std::string_view bytes,
                                                  const ReplaceStep& replace) {
  AtomicWriteResult result;
  const std::wstring target = to_utf16(path);
  const std::wstring temporary = target + L".tmp-" + std::to_wstring(GetCurrentProcessId());

  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return result;

  // The flush makes the new bytes durable before the rename makes them the
  // document: without it a power cut just after a save can leave the
  // renamed file empty or holding garbage. A failed close counts too: on a
  // network share it may be the first report of a write that did not land.
  bool written = write_all(file, bytes) && FlushFileBuffers(file);
  written = CloseHandle(file) && written;
  if (!written) {
    DeleteFileW(temporary.c_str());
    return result;
  }

  unsigned long error = 0;
  const bool replaced = replace ? replace(target, temporary, error) : replace_file(target, temporary, error);
  if (replaced) {
    result.ok = true;
    return result;
  }
  const ReplaceRecovery recovery = recovery_after_failed_replace(error);
  if (recovery.try_move && MoveFileExW(temporary.c_str(), target.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    result.ok = true;
    return result;
  }
  if (recovery.keep_temporary) {
    result.kept_temporary = to_utf8(temporary);
  } else {
    DeleteFileW(temporary.c_str());
  }
  return result;
}

bool write_file_atomically(const std::string& path, std::string_view bytes) {
  return write_file_atomically_reporting(path, bytes).ok;
}

}  // namespace vesk::win
