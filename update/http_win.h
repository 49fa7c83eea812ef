// The updater's network code: two blocking HTTP GETs on WinHTTP, run on the
// updater's background threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

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
  std::string manifest_text;
  bool succeeded = false;
  std::wstring error;
  std::wstring file;
};

// True when the whole body of a 200 response was read into `body`.
bool fetch_manifest_text(const std::wstring& url, std::string& body, std::wstring* error);

// True when the whole body of a 200 response was written to `path`. On
// failure job.error says why, except after a cancel; `retryable` tells the
// caller whether another attempt may help.
bool download_to_file(const std::wstring& url, const std::wstring& path, DownloadJob& job, bool* retryable);

}  // namespace vesk::win
