// Download, verification and hand-over of an accepted update.
#pragma once

#include <windows.h>

#include <string>

#include "update/http_win.h"
#include "update/update_policy.h"

namespace vesk::win {

inline constexpr wchar_t kInstallerParameters[] = L"/VERYSILENT /SUPPRESSMSGBOXES /NORESTART /CLOSEAPPLICATIONS /RELAUNCH=1";

// UI thread. Runs the worker behind a modal progress dialog and returns
// only after the worker has ended; on success starts the installer or shows
// the portable package, then asks the main window to close.
void download_and_install(HWND window, const UpdateTarget& target, const std::string& manifest_text);

// Up to three attempts, then the signature and hash checks. Sets
// job.succeeded, then job.done, as its last steps.
void download_worker(const std::wstring& url, const std::wstring& file, DownloadJob& job);

// 64 lower-case hex digits of the file's SHA-256, from CNG.
bool sha256_file_hex(const std::wstring& path, std::string& out);

}  // namespace vesk::win
