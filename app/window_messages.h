// The main window's private messages, timer ids and menu ids. They stay in
// app/: the window hands the numbers to the parts that post to it (drop
// target, updater thread) when it starts them.
#pragma once

#include <windows.h>

namespace vesk::win {

inline constexpr UINT kDropPathsMessage = WM_APP + 1;
inline constexpr UINT kRunCommandMessage = WM_APP + 7;
inline constexpr UINT kUpdateResultMessage = WM_APP + 8;
// Takes another VESK_SNAPSHOT: a test retakes it until the page shows what it
// waits for, instead of guessing how long drawing takes.
inline constexpr UINT kSnapshotMessage = WM_APP + 9;
// Something changed in the document's folder (posted by its watcher).
inline constexpr UINT kFolderChangedMessage = WM_APP + 10;
// Look at the document's file again (after an activation).
inline constexpr UINT kCheckDiskMessage = WM_APP + 11;

// A listing, index chunk or watcher report from the folder panel's workers.
inline constexpr UINT kFolderResultMessage = WM_APP + 12;

inline constexpr UINT_PTR kStartupCommandTimer = 1;
inline constexpr UINT_PTR kSnapshotTimer = 2;
inline constexpr UINT_PTR kDropProbeTimer = 3;
inline constexpr UINT_PTR kUpdateCheckTimer = 4;
inline constexpr UINT_PTR kPdfWaitTimer = 5;
// Runs once the folder has been quiet for a moment, so a file written to a
// temporary and renamed over the document is one change.
inline constexpr UINT_PTR kFolderSettledTimer = 6;

inline constexpr UINT kExitMenuId = 40005;
inline constexpr UINT kCheckUpdatesMenuId = 40006;
// 视图 › 主题: 打开主题文件夹, and the themes in menu order from kThemeMenuFirst.
inline constexpr UINT kOpenThemesFolderMenuId = 40099;
inline constexpr UINT kThemeMenuFirst = 40100;
inline constexpr UINT kThemeMenuLast = 40199;
// "最近打开": one id per entry, then "清除最近打开".
inline constexpr UINT kRecentMenuFirst = 40200;
inline constexpr UINT kClearRecentMenuId = 40220;

}  // namespace vesk::win
