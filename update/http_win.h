// The updater's network code: two blocking HTTP GETs on WinHTTP, run on the
// updater's background threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "update/update_policy.h"
#include "update/win_support.h"

namespace vesk::win {

// Shared by the UI thread, the download worker and the progress dialog.
// The atomics may be touched by any of them at any time; the plain fields
// are written by the worker before `done` and read by the UI thread only
// after joining it.
struct DownloadJob {
  std::atomic<bool> done{false};
  std::atomic<bool> cancel{false};
  std::atomic<std::int64_t> downloaded{0};
  std::atomic<std::int64_t> total{0};
  std::string expected_sha256;
  std::int64_t declared_size = 0;  // the manifest's "size"; more bytes than this stop the transfer
  int retry_pause_ms = kDownloadRetryPauseMs;  // before each retry of a transient failure
  std::string manifest_text;
  bool succeeded = false;
  std::wstring error;
  std::wstring file;
  // After a successful check: the package, open with sharing that lets
  // others read it but neither write, delete nor rename it. The bytes that
  // were hashed through it are the bytes that run, as long as it is held.
  UniqueFile package_lock;
};

// True when the whole body of a 200 response was read into `body`; a body
// over kManifestMaxBytes fails.
bool fetch_manifest_text(const std::wstring& url, std::string& body, std::wstring* error);

// True when the whole body of a 200 response was written to `path`, and it
// was no longer than job.declared_size (when that is above 0). On
// failure job.error says why, except after a cancel; `retryable` tells the
// caller whether another attempt may help.
bool download_to_file(const std::wstring& url, const std::wstring& path, DownloadJob& job, bool* retryable);

}  // namespace vesk::win
