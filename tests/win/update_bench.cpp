// Timing probe for scripts/bench-update: hashes or downloads one file with
// the updater's own code and prints the seconds taken, so the script can
// compare them with sha256sum and curl in the same run.
//
//   update_bench sha256 <file>
//   update_bench download <url> <file>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "update/download_win.h"
#include "update/http_win.h"
#include "update/win_support.h"

int wmain(int argc, wchar_t** argv) {
  using clock = std::chrono::steady_clock;
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  const auto start = clock::now();
  std::string result;
  if (mode == L"sha256" && argc == 3) {
    if (!vesk::win::sha256_file_hex(argv[2], result)) return 1;
  } else if (mode == L"download" && argc == 4) {
    vesk::win::DownloadJob job;
    if (!vesk::win::download_to_file(argv[2], argv[3], job, nullptr)) {
      std::fprintf(stderr, "download failed: %s\n", vesk::win::to_utf8(job.error).c_str());
      return 1;
    }
    result = std::to_string(job.downloaded.load()) + " bytes";
  } else {
    std::fprintf(stderr, "usage: update_bench sha256 <file> | download <url> <file>\n");
    return 2;
  }
  const double seconds = std::chrono::duration<double>(clock::now() - start).count();
  std::printf("%.3f %s\n", seconds, result.c_str());
  return 0;
}
