// The updater's decisions that need no Windows: which package to fetch, what
// it is called on disk, when a background check runs, and every text the
// check, prompt and progress dialogs show.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "update/manifest.h"

namespace vesk {

inline constexpr std::uint32_t kUpdateCheckIntervalSeconds = 86400;
inline constexpr int kDownloadAttempts = 3;
inline constexpr int kDownloadRetryPauseMs = 2000;
inline constexpr wchar_t kFallbackDownloadName[] = L"Vesk-update.bin";

struct UpdateTarget {
  std::string url;
  std::string sha256;
  std::int64_t size = 0;
  bool is_installer = false;
};

// Installed copies prefer "setup", portable ones "portable"; either falls
// back to the other when its URL is empty.
UpdateTarget choose_update_target(const UpdateManifest& manifest, bool is_installed_copy);

// The last path segment of the URL (query cut off), or the fallback name
// when that segment could name anything but a plain file in our folder.
std::wstring download_file_name(std::wstring_view url);

// "12.3 MB" for a positive byte count, else empty.
std::string format_megabytes(std::int64_t bytes);

// True when a background check should be skipped: a stored, non-zero check
// time not after now and less than a day ago. Times are seconds since 1970,
// cut to 32 bits as the registry keeps them.
bool skip_background_check(std::optional<std::uint32_t> last_check, std::uint32_t now);

// "NATIVE update " + the formatted text, cut as a 512-byte buffer cuts it.
std::string format_update_log_line(const char* format, std::va_list args);

// Equal lengths and equal characters ignoring ASCII case.
bool sha256_hex_matches(std::string_view actual, std::string_view expected);

// Links in the prompt are opened by the shell, and the manifest carrying
// them has not been verified yet: only web addresses qualify.
bool is_web_link(std::string_view url);

struct UpdatePromptText {
  std::string instruction;
  std::string content;           // with the notes link when there is one
  std::string fallback_content;  // plain text for a message box
  bool has_link = false;
};
UpdatePromptText build_update_prompt(const UpdateManifest& manifest, const UpdateTarget& target);

// What a manual check shows for an outcome other than an offer; none for
// decision 2 (the prompt follows). Background checks show nothing.
struct UpdateMessage {
  std::string caption;
  std::string text;
};
std::optional<UpdateMessage> check_outcome_message(bool parsed, std::string_view error, int decision,
                                                   const UpdateManifest& manifest);

struct DownloadProgressView {
  std::string content;
  std::optional<int> percent;  // none while the length is unknown
};
DownloadProgressView download_progress_view(std::int64_t downloaded, std::int64_t total);

}  // namespace vesk
