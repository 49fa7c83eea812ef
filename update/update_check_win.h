// The update check as the main window drives it: the daily timer, the menu
// command, the result message and the offer to update.
//
// The window chooses a timer id and a message number of its own. It calls
// set_update_callbacks on WM_CREATE, starts its timer with 10000 ms, calls
// run_background_update_check when it expires, start_update_check(window,
// message, true) for the "check for updates" command, and
// handle_update_result_message when the message arrives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "update/manifest.h"
#include "update/update_policy.h"

namespace vesk::win {

inline constexpr UINT kUpdateFirstCheckDelayMs = 10000;
inline constexpr UINT kUpdateCheckPeriodMs = 86400000;

// Allocated by the check thread, owned by the window once posted (lParam).
struct UpdateCheckResult {
  bool parsed = false;
  bool manual = false;
  std::string error;
  std::string manifest_text;
  UpdateManifest manifest;
  std::int32_t decision = 0;
};

// Kept for the whole process. has_unsaved_changes: the document is dirty;
// close_main_window: post WM_CLOSE so the normal close path runs.
void set_update_callbacks(std::function<bool()> has_unsaved_changes, std::function<void()> close_main_window);

// Fetches, parses and decides on a detached thread, then posts
// `result_message` to `window`, a new UpdateCheckResult in lParam.
void start_update_check(HWND window, UINT result_message, bool manual);

// Expiry of the window's `check_timer`: re-arms it for a day and checks
// unless a check started less than a day ago.
void run_background_update_check(HWND window, UINT_PTR check_timer, UINT result_message);

// UI thread, for the result message. The caller keeps ownership.
void handle_update_check_result(HWND window, const UpdateCheckResult& result);
// The same, taking ownership of the lParam result and freeing it.
void handle_update_result_message(HWND window, LPARAM result);

// True when the user accepts the offer.
bool show_update_prompt(HWND window, const UpdateManifest& manifest, const UpdateTarget& target);

// An "unins000.exe" beside the executable marks an installed copy.
bool is_installed_copy();

// The manifest address: VESK_UPDATE_URL when set, else the release host.
std::wstring update_manifest_url();

// Registry state under HKCU\Software\Vesk; a missing or unreadable value
// reads as none, failed writes are ignored.
std::optional<std::uint32_t> read_last_update_check();
void write_last_update_check(std::uint32_t seconds);
std::optional<std::wstring> read_skipped_update_version();
void write_skipped_update_version(const std::wstring& version);
void delete_skipped_update_version();

// Used by the download as well.
const std::function<bool()>& update_has_unsaved_changes();
const std::function<void()>& update_close_main_window();

}  // namespace vesk::win
