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
// The same for an open file, read from its start.
bool sha256_handle_hex(HANDLE file, std::string& out);

// "Vesk-update-" and 16 random hex digits.
std::wstring random_update_folder_name();

// Creates the folder at `path`, which must not exist yet, and opens it so it
// cannot be renamed or removed while `handle` is held. False, with nothing
// created, when anything was there already or what we opened is a reparse
// point (a junction or link someone put in its place).
bool create_update_folder(const std::wstring& path, UniqueFile& handle);

// Opens the downloaded package so that others may still read it (the
// installer, Explorer) but not write, delete or rename it. False when
// another program holds it open for writing, or the name is a link.
bool lock_package(const std::wstring& path, UniqueFile& lock);

}  // namespace vesk::win
